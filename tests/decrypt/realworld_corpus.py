#!/usr/bin/env python3
"""Real-world mail through the whole program, judged by Python's email package.

Every message (CPython's email test messages from libpython3.11-testsuite, when installed,
and ours in tests/data/mime/realworld/*.eml) is sent in CR LF and in LF form: encrypted with
openssl for the demo ID, decrypted by one batch run of decrypt, and its Decrypt folder
compared with what email.message_from_bytes makes of the same bytes. Per message (the root
and each message/rfc822): its first unnamed text/plain leaf is in its own Msg*.txt; every
other leaf is a file with the decoded bytes (named as Python names it, after our
sanitising), or, unnamed text/plain, text in a Msg*.txt. Differences listed in
known_differences.txt (the reference's faults) are reported but pass.

Usage: realworld_corpus.py DECRYPT SOURCE_DIR
"""
import concurrent.futures
import email
import email.policy
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

CPYTHON = '/usr/lib/python3.11/test/test_email/data'
FORMS = {'crlf': b'\r\n', 'lf': b'\n'}


def lf(data):
    return data.replace(b'\r\n', b'\n').replace(b'\r', b'\n')


def sanitise(name):
    name = ''.join(c for c in name if ord(c) >= 0x20 and c != '\x7f')
    return re.split(r'[/\\]', name)[-1].strip(' \t')


def file_names(name):
    """The pattern a file for attachment `name` may carry: name, or name(n).ext."""
    stem, dot, ext = name.rpartition('.')
    stem, ext = (stem, '.' + ext) if dot else (name, '')
    return re.compile(re.escape(stem) + r'(\(\d+\))?' + re.escape(ext) + r'\Z')


def containers(msg):
    """The leaves of each message (the root, then each message/rfc822 in the order the
    program writes Msg.txt, Msg(1).txt, ...)."""
    out = []

    def walk(part, leaves):
        if part.get_content_type() == 'message/rfc822' and part.is_multipart():
            for inner in part.get_payload():
                out.append([])
                walk(inner, out[-1])
        elif part.is_multipart() and part.get_content_maintype() != 'message':
            for sub in part.get_payload():
                walk(sub, leaves)
        else:
            leaves.append(part)
    out.append([])
    walk(msg, out[0])
    return out


def body(part):
    if part.is_multipart():   # message/delivery-status, external-body...: parsed headers
        return part.as_bytes(policy=part.policy.clone(refold_source='none')).split(b'\n\n', 1)[1]
    return part.get_payload(decode=True) or b''


def is_body_text(part):
    # A multipart without its boundaries is a leaf to Python, its body kept as text.
    return (part.get_content_type() == 'text/plain' or part.get_content_maintype() == 'multipart') \
        and not part.get_filename()


def compare(data, folder):
    """The differences between Python's reading of `data` and the output `folder`."""
    if not os.path.isdir(folder):
        return ['no output folder (decryption failed)']
    files = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), 'rb') as f:
            files[name] = f.read()
    texts = {n: lf(b) for n, b in files.items() if re.fullmatch(r'Msg(\(\d+\))?\.txt', n)}
    left = dict(texts)   # Msg texts with what was found in them cut out
    unclaimed = set(files) - set(texts)
    diffs = []

    def take(text, where):
        piece = lf(text).rstrip(b'\n')
        for n in where:
            if n in left and piece in left[n]:
                left[n] = left[n].replace(piece, b'', 1)
                return True
        return not piece

    msg = email.message_from_bytes(data, policy=email.policy.default)
    found = containers(msg)
    mains = []
    for k, leaves in enumerate(found):
        own = 'Msg.txt' if k == 0 else 'Msg(%d).txt' % k
        if own not in texts:
            diffs.append('message %d: no %s' % (k, own))
        main = next((p for p in leaves if is_body_text(p) and not p.is_attachment() and body(p).strip()), None)
        mains.append(main)
        if main is not None and not take(body(main), [own]):
            diffs.append('message %d: text/plain body text not in %s' % (k, own))
    for k, leaves in enumerate(found):
        own = 'Msg.txt' if k == 0 else 'Msg(%d).txt' % k
        for part in leaves:
            if part is mains[k]:
                continue
            payload = body(part)
            what = 'message %d: %s' % (k, part.get_content_type())
            exact = str(part.get('content-transfer-encoding', '')).strip().lower() == 'base64'
            same = (lambda b: b == payload) if exact else (lambda b: lf(b) == lf(payload))
            name = part.get_filename()
            want = sanitise(name) if name is not None else None
            named = [n for n in sorted(unclaimed) if want and file_names(want).match(n)]
            match = [n for n in named if same(files[n])]
            if not match and want is None:
                match = [n for n in sorted(unclaimed) if same(files[n])]
            if match:
                unclaimed.discard(match[0])
                continue
            if not payload.strip() and want is None:
                continue
            if want is None and is_body_text(part) and take(payload, [own] + sorted(texts)):
                continue
            other = [n for n in sorted(unclaimed) if same(files[n])]
            if other:
                diffs.append('%s "%s": file named %s' % (what, want, other[0]))
                unclaimed.discard(other[0])
            elif named:
                diffs.append('%s "%s": wrong bytes in %s' % (what, want, named[0]))
                unclaimed.discard(named[0])
            else:
                diffs.append('%s%s: missing (%d bytes)' % (what, ' "%s"' % want if want else '', len(payload)))
    for part in (msg.preamble, msg.epilogue):
        if part:
            take(part.encode('utf-8', 'surrogateescape'), sorted(texts))
    for n in sorted(left):
        extra = left[n].strip()
        if extra:
            diffs.append('extra text in %s: %r' % (n, extra[:60]))
    diffs += ['extra file %s (%d bytes)' % (n, len(files[n])) for n in sorted(unclaimed)]
    return diffs


def load_known(path):
    known = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.split('#', 1)[0].strip()
            if line:
                case, form, reason = line.split(None, 2)
                for fm in FORMS if form == 'both' else [form]:
                    known[(case, fm)] = reason
    return known


def main(decrypt, source):
    here = os.path.join(source, 'tests', 'data', 'mime', 'realworld')
    paths = sorted(glob.glob(os.path.join(here, '*.eml')))
    if os.path.isdir(CPYTHON):
        paths += sorted(glob.glob(os.path.join(CPYTHON, 'msg_*.txt')))
    else:
        print('libpython3.11-testsuite is not installed: its messages are skipped')
    known = load_known(os.path.join(here, 'known_differences.txt'))
    scratch = tempfile.mkdtemp(prefix='realworld_')
    try:
        cert = os.path.join(scratch, 'demo.pem')
        subprocess.run(['openssl', 'pkcs7', '-inform', 'DER', '-print_certs', '-in',
                        os.path.join(source, 'samples', 'demo.P7M'), '-out', cert], check=True)
        jobs = []
        for path in paths:
            case = os.path.splitext(os.path.basename(path))[0]
            with open(path, 'rb') as f:
                data = lf(f.read())
            for form, eol in FORMS.items():
                folder = os.path.join(scratch, case + '.' + form)
                os.mkdir(folder)
                with open(os.path.join(folder, 'in.eml'), 'wb') as f:
                    f.write(data.replace(b'\n', eol))
                jobs.append((case, form, folder))

        def encrypt(job):
            folder = job[2]
            subprocess.run(['openssl', 'smime', '-encrypt', '-provider', 'legacy', '-provider', 'default',
                            '-rc2-40', '-binary', '-outform', 'DER', '-in', os.path.join(folder, 'in.eml'),
                            '-out', os.path.join(folder, 'in.p7m'), cert], check=True)
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            list(pool.map(encrypt, jobs))
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(scratch, 'config'),
                   XDG_DATA_HOME=os.path.join(scratch, 'data'), XDG_RUNTIME_DIR=scratch)
        # Signed content is opened: clear-signed mail is refused by default, which the
        # program's own tests cover; here it is judged like any other mail.
        run = subprocess.run([decrypt, '--batch', '--open-signed', '--key', os.path.join(source, 'samples', 'demo.sec')]
                             + [os.path.join(j[2], 'in.p7m') for j in jobs],
                             env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=300)
        if run.returncode:
            print('decrypt: %d file(s) failed\n%s' % (run.returncode, run.stderr.decode(errors='replace')))

        same = unexpected = 0
        for case, form, folder in jobs:
            with open(os.path.join(folder, 'in.eml'), 'rb') as f:
                diffs = compare(f.read(), os.path.join(folder, 'Decrypt'))
            reason = known.pop((case, form), None)
            if not diffs:
                same += 1
                if reason:
                    print('%s [%s]: listed as differing but came out the same' % (case, form))
                continue
            unexpected += reason is None
            print('%s [%s]: %s' % (case, form, 'known: ' + reason if reason else 'DIFFERS'))
            for d in diffs:
                print('    ' + d)
        for case, form in sorted(known):
            print('%s [%s]: listed, but no such message' % (case, form))
        print('%d messages x %d line-end forms: %d same, %d differing (%d unexpected)'
              % (len(paths), len(FORMS), same, len(jobs) - same, unexpected))
        return 1 if unexpected else 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
