#!/usr/bin/env python3
"""A batch decrypted several files at once tells and writes exactly what one file after the
other does.

A mixed corpus is made with openssl at test time: messages sharing a folder (Decrypt,
Decrypt1 ... in the order given, one name already taken), a message with warnings, a base64
.sig file, failures of several kinds (one with a box of its own before the error box), and
a message found inside the output of an earlier file of the same batch. Each row of RUNS is
run on a fresh copy of the corpus with -j 1 and with more jobs: exit status, standard output,
standard error and the trees written must be identical, byte for byte.

Usage: jobs.py DECRYPT SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

LEGACY = '-provider legacy -provider default'
ENCRYPT = f'openssl cms -encrypt {LEGACY} -rc2-40 -outform DER'

MESSAGE = ('From: A Sender <a@example.org>\r\nSubject: {subject}\r\nMIME-Version: 1.0\r\n'
           'Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n{subject}\r\n'
           '--b\r\nContent-Type: application/octet-stream; name={name}\r\nContent-Transfer-Encoding: {encoding}\r\n\r\n'
           '{body}\r\n--b--\r\n')

# The inputs, in the order given to the program.
INPUTS = ['one/a.p7m', 'one/b.p7m', 'warn.p7m', 'missing.p7m', 'one/c.p7m', 'des3.p7m', 'text.p7m',
          'one/Decrypt/inner.p7m', 'b64.sig', 'truncated.p7m', 'one/d.p7m', 'cert.p7m', 'one/a.p7m']

# Options of the runs compared, each with -j 1 and with the jobs given here.
RUNS = [(['--batch'], 4), (['--json'], 3), (['--batch'], 0)]


def make_corpus(folder, source):
    shutil.copy(os.path.join(source, 'samples', 'demo.sec'), folder)
    shutil.copy(os.path.join(source, 'samples', 'demo.P7M'), folder)
    os.makedirs(os.path.join(folder, 'one', 'Decrypt1'))   # a name already taken
    shell = lambda c: subprocess.run(c, shell=True, cwd=folder, check=True, capture_output=True)
    shell('openssl pkcs7 -inform DER -in demo.P7M -print_certs -out demo.pem')

    def message(name, subject, attachment, encoding='base64', body=None):
        text = MESSAGE.format(subject=subject, name=attachment, encoding=encoding, body=body or 'aGVsbG8=')
        with open(os.path.join(folder, name + '.eml'), 'w', newline='') as f:
            f.write(text)
        shell(f'{ENCRYPT} -in {name}.eml -out {name} demo.pem')

    message('inner.p7m', 'Inner', 'x.bin')
    shell('base64 -w 76 inner.p7m > inner.b64')
    with open(os.path.join(folder, 'inner.b64')) as f:
        inner = f.read().replace('\n', '\r\n').strip()
    # The first message carries the one a later input names inside its output folder.
    message('one/a.p7m', 'First', 'inner.p7m', body=inner)
    for name in ('b', 'c', 'd'):
        message(f'one/{name}.p7m', f'Message {name}', f'{name}.dat')
    message('warn.p7m', 'Warned', 'old.hqx', encoding='binhex40', body='(This file must be converted)')
    shell(f'openssl cms -encrypt {LEGACY} -des3 -outform DER -in one/b.p7m.eml -out des3.p7m demo.pem')
    shell(f'openssl cms -encrypt {LEGACY} -rc2-40 -outform PEM -in one/c.p7m.eml demo.pem '
          '| grep -v -- ----- | tr -d "\\n" > b64.sig')
    shell('head -c 300 one/b.p7m > truncated.p7m && echo hello > text.p7m && cp demo.P7M cert.p7m')
    for name in os.listdir(folder):
        if name.endswith('.eml'):
            os.remove(os.path.join(folder, name))


def tree(folder):
    """Every file and folder under `folder` with its bytes (None for a folder)."""
    found = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, folder)
            if rel.split(os.sep)[0] in ('cfg', 'data'):
                continue
            found[rel] = None if os.path.isdir(path) else open(path, 'rb').read()
    return found


def run(program, corpus, scratch, options, jobs):
    work = os.path.join(scratch, f'run-{jobs}')
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(corpus, work, symlinks=True)
    env = dict(os.environ, XDG_CONFIG_HOME=work + '/cfg', XDG_DATA_HOME=work + '/data', XDG_RUNTIME_DIR=scratch)
    jobs_option = ['-j', str(jobs)] if jobs else []
    result = subprocess.run([program] + options + jobs_option + ['--key', 'demo.sec'] + INPUTS, cwd=work, env=env,
                            stdin=subprocess.DEVNULL, capture_output=True)
    return result.returncode, result.stdout, result.stderr, tree(work)


def main():
    program, source = sys.argv[1], sys.argv[2]
    failures = []
    scratch = tempfile.mkdtemp(prefix='qm_jobs_')
    try:
        corpus = os.path.join(scratch, 'corpus')
        os.mkdir(corpus)
        make_corpus(corpus, source)
        for options, jobs in RUNS:
            one = run(program, corpus, scratch, options, 1)
            many = run(program, corpus, scratch, options, jobs)
            what = f'{" ".join(options)} -j {jobs or "(default)"}'
            for label, a, b in zip(('exit status', 'standard output', 'standard error', 'tree'), one, many):
                if a != b:
                    failures.append(f'{what}: {label} differs from -j 1:\n{a!r}\n{b!r}'[:3000])
            # The corpus exercises what it should: each kind of outcome is there.
            status, out, err, written = one
            expected = (b'Decrypt2' in out and b'warning' in out + err and b'inner.p7m' in out
                        and b'U.S. domestic' in err and err.count(b'ERROR:') == 5 and status == 5)
            if not expected:
                failures.append(f'{what}: the corpus did not give the outcomes it is made for: {status} {out!r} {err!r}')
            if any(os.path.basename(name).startswith('.Decrypt') for name in written):
                failures.append(f'{what}: a hidden work folder was left')
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print('FAIL', failure)
    print(f'{len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
