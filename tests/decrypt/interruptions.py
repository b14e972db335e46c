#!/usr/bin/env python3
"""Runs that end early leave no output folder that looks finished; limits fail one file.

A message with a large attachment (made with openssl at test time) is decrypted by a child
that gets SIGINT, SIGTERM or SIGHUP at several moments (also three copies at once, -j 3),
and once under a file-size limit
(prlimit): afterwards there is either no output folder at all, or a finished one holding
the whole attachment; never a temporary folder, never a scratch file. Under a memory limit
the large DER file decrypts (it is read as a stream), its PEM form (read whole) fails with
its reason, and the next file of the batch decrypts.

Usage: interruptions.py DECRYPT SOURCE_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ATTACHMENT = 6 << 20


def leftovers(folder):
    """What an ended run left: (hidden work folders, output folders not whole)."""
    hidden, partial = [], []
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if name.startswith('.Decrypt'):
            hidden.append(name)
        elif name.startswith('Decrypt'):
            files = sorted(os.listdir(path))
            if files != ['Msg.txt', 'big.bin'] or os.path.getsize(os.path.join(path, 'big.bin')) != ATTACHMENT:
                partial.append(f'{name}: {files}')
    return hidden, partial


def main():
    program, source = sys.argv[1], sys.argv[2]
    failures = []
    scratch = tempfile.mkdtemp(prefix='qm_interrupt_')
    try:
        env = dict(os.environ, XDG_CONFIG_HOME=scratch + '/cfg', XDG_DATA_HOME=scratch + '/data',
                   XDG_RUNTIME_DIR=scratch)
        for name in ('demo.sec', 'demo.P7M'):
            shutil.copy(os.path.join(source, 'samples', name), scratch)
        with open(os.path.join(scratch, 'big.bin'), 'wb') as f:
            f.write(os.urandom(ATTACHMENT))
        subprocess.run('openssl pkcs7 -inform DER -in demo.P7M -print_certs -out demo.pem && '
                       '(printf "Subject: big\\r\\nMIME-Version: 1.0\\r\\nContent-Type: multipart/mixed; boundary=b\\r\\n\\r\\n'
                       '--b\\r\\nContent-Type: text/plain\\r\\n\\r\\nHello.\\r\\n--b\\r\\nContent-Type: application/octet-stream; '
                       'name=big.bin\\r\\nContent-Transfer-Encoding: base64\\r\\n\\r\\n"; base64 big.bin; printf "\\r\\n--b--\\r\\n") > big.eml && '
                       'openssl cms -encrypt -provider legacy -provider default -rc2-40 -outform DER -in big.eml -out big.p7m demo.pem',
                       shell=True, cwd=scratch, check=True, capture_output=True)
        runs = os.path.join(scratch, 'runs')
        delays = (0.0, 0.02, 0.05, 0.1, 0.2, 0.4)
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            for delay in delays:
                os.mkdir(runs)
                shutil.copy(os.path.join(scratch, 'big.p7m'), runs)
                child = subprocess.Popen([program, '--batch', '--key', '../demo.sec', 'big.p7m'], cwd=runs, env=env,
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(delay)
                child.send_signal(sig)
                status = child.wait()
                hidden, partial = leftovers(runs)
                if hidden or partial:
                    failures.append(f'{sig.name} after {delay} s (status {status}): left {hidden + partial}')
                shutil.rmtree(runs)
        # A batch decrypting three files at once: every folder being built goes.
        for delay in (0.05, 0.2, 0.5):
            os.mkdir(runs)
            names = [f'big{i}.p7m' for i in range(3)]
            for name in names:
                shutil.copy(os.path.join(scratch, 'big.p7m'), os.path.join(runs, name))
            child = subprocess.Popen([program, '--batch', '-j', '3', '--key', '../demo.sec'] + names, cwd=runs, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(delay)
            child.send_signal(signal.SIGTERM)
            status = child.wait()
            hidden, partial = leftovers(runs)
            if hidden or partial:
                failures.append(f'-j 3 SIGTERM after {delay} s (status {status}): left {hidden + partial}')
            shutil.rmtree(runs)

        # A file-size limit is an ordinary write error: the file fails, nothing is left.
        os.mkdir(runs)
        shutil.copy(os.path.join(scratch, 'big.p7m'), runs)
        result = subprocess.run(['prlimit', f'--fsize={ATTACHMENT // 2}', program, '--batch', '--key', '../demo.sec',
                                 'big.p7m'], cwd=runs, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True)
        hidden, partial = leftovers(runs)
        if (result.returncode != 1 or 'decrypt: big.p7m: the output folder cannot be written' not in result.stderr
                or hidden or os.listdir(runs) != ['big.p7m']):
            failures.append(f'file-size limit: status {result.returncode}, {result.stderr[-200:]!r}, left {os.listdir(runs)}')

        # Out of memory (an address-space limit): enveloped DER is decrypted from its file
        # and needs little memory, so it decrypts; the same message as PEM is read whole,
        # fails alone with its reason, and the next file decrypts. Sanitizer builds reserve
        # more address space than any limit.
        if '/asan' not in program and '/tsan' not in program:
            shutil.rmtree(runs)
            os.mkdir(runs)
            shutil.copy(os.path.join(scratch, 'big.p7m'), runs)
            subprocess.run(['openssl', 'pkcs7', '-inform', 'DER', '-in', 'big.p7m', '-out', 'bigpem.p7m'],
                           cwd=runs, check=True, capture_output=True)
            shutil.copy(os.path.join(source, 'samples', 'demo.p7m'), os.path.join(runs, 'small.p7m'))
            result = subprocess.run(['prlimit', f'--as={28 << 20}', program, '--batch', '--key', '../demo.sec',
                                     'big.p7m', 'bigpem.p7m', 'small.p7m'], cwd=runs, env=env,
                                    stdin=subprocess.DEVNULL, capture_output=True, text=True)
            if (result.returncode != 1 or 'decrypt: bigpem.p7m: there is not enough memory' not in result.stderr
                    or not result.stdout.startswith('big.p7m -> Decrypt: Msg.txt, big.bin')
                    or 'small.p7m -> Decrypt1:' not in result.stdout):
                failures.append(f'memory limit: status {result.returncode}, {result.stdout!r} {result.stderr[-200:]!r}')
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print('FAIL', failure)
    print(f'{len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
