#!/usr/bin/env python3
"""What the program tells about each file, checked on inputs made with openssl at test time.

One row per cause: the input is made in a scratch folder, decrypted with the demo ID in one
`decrypt --json` run, and its JSON line must carry the status and a reason matching the
row. Then the exit statuses, the plain batch summary, the run without a decrypting ID and
`--inspect`.

Usage: outcomes.py DECRYPT SOURCE_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

LEGACY = '-provider legacy -provider default'
ADVICE = r'only RC2 with 40-bit keys is decrypted: ask the sender to encrypt with RC2-40'


def der_tree(data, pos=0, end=None):
    """DER elements as [tag, value-or-children] lists (definite lengths only)."""
    end = len(data) if end is None else end
    out = []
    while pos < end:
        tag = data[pos]
        n = data[pos + 1]
        pos += 2
        if n & 0x80:
            count = n & 0x7F
            n = int.from_bytes(data[pos:pos + count], 'big')
            pos += count
        body = data[pos:pos + n]
        out.append([tag, der_tree(data, pos, pos + n) if tag & 0x20 else body])
        pos += n
    return out


def der_bytes(tree):
    out = b''
    for tag, value in tree:
        body = der_bytes(value) if isinstance(value, list) else value
        n = len(body)
        length = bytes([n]) if n < 0x80 else bytes([0x80 | ((n.bit_length() + 7) // 8)]) + n.to_bytes((n.bit_length() + 7) // 8, 'big')
        out += bytes([tag]) + length + body
    return out


def rc2_without_bits(src, dst):
    """The RC2 message with its parameter cut to the bare IV (no effective-bits value)."""
    tree = der_tree(open(src, 'rb').read())
    enveloped = tree[0][1][1][1][0]
    algorithm = enveloped[1][2][1][1]          # EncryptedContentInfo's AlgorithmIdentifier
    algorithm[1][1] = algorithm[1][1][1][1]    # SEQUENCE {version, iv} -> the OCTET STRING iv
    open(dst, 'wb').write(der_bytes(tree))


def many_recipients(src, dst, copies):
    """The message for [demo, other] with the other recipient's entry repeated `copies` times
    after the demo ID's (the entries are tried last first, so the ID's entry comes last)."""
    tree = der_tree(open(src, 'rb').read())
    recipients = tree[0][1][1][1][0][1][1][1]
    recipients.extend([recipients[1]] * (copies - 1))
    open(dst, 'wb').write(der_bytes(tree))


# name, how to make it ({demo}, {other}: PEM certificates; {src}: the sample), status, reason
ROWS = [
    ('aes.p7m', 'openssl cms -encrypt -aes256 -outform DER -in msg.txt -out {out} {demo}', 'failed',
     r'AES-256-CBC; ' + ADVICE),
    ('gcm.p7m', 'openssl cms -encrypt -aes-128-gcm -outform DER -in msg.txt -out {out} {demo}', 'failed',
     r'AES-128-GCM; ' + ADVICE),
    ('des3.p7m', 'openssl cms -encrypt {legacy} -des3 -outform DER -in msg.txt -out {out} {demo}', 'failed',
     r'DES-EDE3-CBC; ' + ADVICE),
    ('des.p7m', 'openssl cms -encrypt {legacy} -des -outform DER -in msg.txt -out {out} {demo}', 'failed',
     r'DES-CBC; ' + ADVICE),
    ('rc2-64.p7m', 'openssl cms -encrypt {legacy} -rc2-64 -outform DER -in msg.txt -out {out} {demo}', 'failed',
     r'RC2-CBC 64-bit; ' + ADVICE),
    ('rc2-128.p7m', 'openssl cms -encrypt {legacy} -rc2-128 -outform DER -in msg.txt -out {out} {demo}', 'failed',
     r'RC2-CBC 128-bit; ' + ADVICE),
    ('rc2-bare-iv.p7m', 'rc2_without_bits rc2-128.p7m {out}', 'failed', r'RC2-CBC and a 128-bit key \(no effective-bits value\)'),
    ('other.p7m', 'openssl cms -encrypt {legacy} -rc2-40 -outform DER -in msg.txt -out {out} {other}', 'failed',
     r'no recipient matches this ID: the message is for Other Person, serial [0-9A-F]+, 1024-bit RSA; this ID is .*512-bit RSA'),
    ('pem.p7m', 'openssl cms -encrypt {legacy} -rc2-40 -outform PEM -in msg.txt -out {out} {demo}', 'decrypted', ''),
    ('mail.eml', 'openssl cms -encrypt {legacy} -rc2-40 -in msg.txt -out {out} {demo}', 'decrypted', ''),
    ('b64.sig', 'openssl cms -encrypt {legacy} -rc2-40 -outform PEM -in msg.txt {demo} | grep -v -- ----- | tr -d "\\n" > {out}',
     'decrypted', ''),
    ('cert.p7m', 'cp demo.P7M {out}', 'failed', r'holds no data \(a certificate file'),
    ('folder.p7m', 'mkdir {out}', 'failed', r'it is a folder, not a file'),
    ('missing.p7m', 'true', 'failed', r'the file does not exist'),
    ('empty.p7m', ': > {out}', 'failed', r'the file is empty'),
    ('fifo.p7m', 'mkfifo {out}', 'failed', r'not a regular file'),
    ('', 'true', 'failed', r'the file name is empty'),
    ('demo.p7m ', 'true', 'failed', r'the file does not exist'),   # names are taken as given
    ('truncated.p7m', 'head -c 300 demo.p7m > {out}', 'failed', r'the content is truncated: it ends at byte 300'),
    ('text.p7m', 'echo hello > {out}', 'failed', r'not S/MIME content: it looks like text'),
    ('key.p7m', 'cp other.key {out}', 'failed', r'not S/MIME content: it looks like a private key'),
    ('signed.p7m', 'openssl smime -sign -in msg.txt -signer {other} -inkey other.key -out signed.eml && '
     'openssl cms -encrypt {legacy} -rc2-40 -outform DER -in signed.eml -out {out} {demo}', 'failed',
     r'clear-signed .*--open-signed'),
]


def run(cmd, cwd, env, stdin=subprocess.DEVNULL):
    return subprocess.run(cmd, cwd=cwd, env=env, stdin=stdin, capture_output=True, text=True, errors='replace')


def main():
    program, source = sys.argv[1], sys.argv[2]
    failures = []
    scratch = tempfile.mkdtemp(prefix='qm_outcomes_')
    try:
        env = dict(os.environ, XDG_CONFIG_HOME=scratch + '/cfg', XDG_DATA_HOME=scratch + '/data',
                   XDG_RUNTIME_DIR=scratch)
        for name in ('demo.p7m', 'demo.sec', 'demo.P7M', 'demo_key.der'):
            shutil.copy(os.path.join(source, 'samples', name), scratch)
        with open(os.path.join(scratch, 'msg.txt'), 'w') as f:
            f.write('From: A Sender <a@example.org>\r\nSubject: Outcomes\r\nDate: Tue, 8 Dec 2026 10:00:00 +0000\r\n\r\nHello.\r\n')
        shell = lambda c: subprocess.run(c, shell=True, cwd=scratch, check=True, capture_output=True)
        shell('openssl pkcs7 -inform DER -in demo.P7M -print_certs -out demo.pem')
        shell('openssl req -x509 -newkey rsa:1024 -nodes -keyout other.key -out other.pem -subj "/CN=Other Person" -days 2')
        names = []
        for name, make, _, _ in ROWS:
            if make.startswith('rc2_without_bits'):
                rc2_without_bits(os.path.join(scratch, make.split()[1]), os.path.join(scratch, name))
            else:
                shell(make.format(out=name, demo='demo.pem', other='other.pem', legacy=LEGACY))
            names.append(name)

        # One batch run, every row.
        result = run([program, '--json', '--key', 'demo.sec'] + names, scratch, env)
        lines = [json.loads(line) for line in result.stdout.splitlines()]
        by_path = {line['path']: line for line in lines}
        expected_failures = sum(1 for row in ROWS if row[2] == 'failed')
        if result.returncode != expected_failures:
            failures.append(f'exit status {result.returncode}, expected {expected_failures}')
        for name, _, status, reason in ROWS:
            got = by_path.get(name)
            if got is None:
                failures.append(f'{name}: no JSON line')
                continue
            if got['status'] != status or not re.search(reason, got['reason']):
                failures.append(f'{name}: {got["status"]}: {got["reason"]!r}, expected {status}: {reason!r}')
            if status == 'decrypted':
                files = {f['name']: f['size'] for f in got['files']}
                folder = os.path.join(scratch, got['folder'])
                on_disk = {n: os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)}
                if files != on_disk or got['subject'] != 'Outcomes' or got['from'] != 'A Sender <a@example.org>':
                    failures.append(f'{name}: outcome {got} does not match the folder {on_disk}')
            elif name not in ('folder.p7m',) and any(f.startswith('Decrypt') and not os.listdir(os.path.join(scratch, f))
                                                     for f in os.listdir(scratch)):
                failures.append(f'{name}: an empty output folder was left')

        # Many recipients: the entry for the ID's certificate is tried first; without the
        # certificate file, trial decryption stops at its bound.
        shell(f'openssl cms -encrypt {LEGACY} -rc2-40 -outform DER -in msg.txt -out pair.p7m demo.pem other.pem')
        many_recipients(os.path.join(scratch, 'pair.p7m'), os.path.join(scratch, 'many.p7m'), 200)
        result = run([program, '--json', '--key', 'demo.sec', 'many.p7m'], scratch, env)
        if result.returncode != 0:
            failures.append(f'many recipients: {result.stdout!r}')
        result = run([program, '--json', '--key', 'demo_key.der', 'many.p7m'], scratch, env)
        reason = json.loads(result.stdout or '{}').get('reason', '')
        if result.returncode != 1 or 'no recipient entry opened with this ID within the first 64 tried' not in reason:
            failures.append(f'many recipients without the certificate: {result.stdout!r}')

        # The plain summary: PATH -> FOLDER: files, then the headers; the reason on stderr.
        result = run([program, '--batch', '--key', 'demo.sec', 'demo.p7m', 'missing.p7m'], scratch, env)
        if (result.returncode != 1 or not re.match(r'demo\.p7m -> Decrypt\d*: Msg\.txt, list\.txt\n  From: ', result.stdout)
                or 'decrypt: missing.p7m: the file does not exist\n' not in result.stderr):
            failures.append(f'summary run: {result.returncode} {result.stdout!r} {result.stderr[-200:]!r}')

        # A file deep in folders, named by its absolute path: no limit below the system's own.
        deep = os.path.join(scratch, *['a_folder_with_a_rather_long_name_%d' % i for i in range(12)])
        os.makedirs(deep)
        shutil.copy(os.path.join(scratch, 'demo.p7m'), deep)
        result = run([program, '--batch', '--key', 'demo.sec', os.path.join(deep, 'demo.p7m')], scratch, env)
        if result.returncode != 0 or not os.path.exists(os.path.join(deep, 'Decrypt', 'list.txt')):
            failures.append(f'deep folder ({len(deep)} characters): {result.stderr[-200:]!r}')

        # No decrypting ID: every file reported, a status of its own.
        result = run([program, '--json', 'demo.p7m'], scratch, env)
        line = json.loads(result.stdout.splitlines()[0]) if result.stdout else {}
        if result.returncode != 101 or not line.get('reason', '').startswith('no decrypting ID is set up'):
            failures.append(f'no-ID run: {result.returncode} {result.stdout!r}')

        # A read-only output folder (as a user without rights there, when run as root).
        os.mkdir(os.path.join(scratch, 'ro'))
        shutil.copy(os.path.join(scratch, 'demo.p7m'), os.path.join(scratch, 'ro'))
        os.chmod(os.path.join(scratch, 'ro'), 0o555)
        for f in ('demo.sec', 'demo.P7M'):
            os.chmod(os.path.join(scratch, f), 0o644)
        os.chmod(scratch, 0o777)
        as_user = ['setpriv', '--reuid=65534', '--regid=65534', '--clear-groups'] if os.geteuid() == 0 else []
        if not as_user or shutil.which('setpriv'):
            env_user = dict(env, XDG_CONFIG_HOME=scratch + '/ro-cfg', XDG_DATA_HOME=scratch + '/ro-data')
            result = run(as_user + [program, '--batch', '--key', 'demo.sec', 'ro/demo.p7m'], scratch, env_user)
            if result.returncode != 1 or 'decrypt: ro/demo.p7m: the output folder cannot be made beside the file: permission denied' not in result.stderr:
                failures.append(f'read-only folder: {result.returncode} {result.stderr[-300:]!r}')

        # Usage errors and the inspection's verdict.
        for args, status in ((['--bogus'], 102), (['--inspect'], 102), (['--inspect', 'demo.p7m'], 0),
                             (['--inspect', 'demo.p7m', 'other.p7m', 'aes.p7m'], 2)):
            result = run([program, '--key', 'demo.sec'] + args, scratch, env)
            if result.returncode != status:
                failures.append(f'{args}: status {result.returncode}, expected {status}')
    finally:
        subprocess.run(['chmod', '-R', 'u+w', scratch])
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print('FAIL', failure)
    print(f'{len(ROWS)} rows, {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
