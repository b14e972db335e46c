#!/usr/bin/env python3
"""Writes vectors.txt: big-integer known answers computed with Python's own integers.

Run from this folder: python3 make_vectors.py > vectors.txt
The output is deterministic (fixed seed), so re-running it reproduces the committed file.

Format: records separated by blank lines; each line "name = value", numbers in hex (no
prefix, at least one digit). Every record starts with "op". Operands are chosen to hit the
awkward cases of word arithmetic: words of all ones, lone top bits, runs of zero words, and
divisors whose quotient estimates need correcting.
"""
import math
import random

rng = random.Random(20240611)
SPECIAL = [0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF]


def number(words, special=0.3):
    """A number of exactly `words` 32-bit words (top word nonzero)."""
    value = 0
    for i in range(words):
        w = rng.choice(SPECIAL) if rng.random() < special else rng.getrandbits(32)
        if i == words - 1 and w == 0:
            w = rng.choice([1, 0x80000000, 0xFFFFFFFF, rng.getrandbits(32) | 1])
        value |= w << (32 * i)
    return value


def size(limit):
    return rng.choice([1, 2, 3, rng.randint(1, limit), rng.randint(1, limit)])


def h(x):
    return format(x, "x")


def emit(op, **fields):
    print("op = " + op)
    for key, value in fields.items():
        print(f"{key} = {h(value)}")
    print()


def words(x):
    return max(1, (x.bit_length() + 31) // 32)


print("# Big-integer known answers; made by make_vectors.py (do not edit by hand).")
print()

for _ in range(80):
    a, b = number(size(32)), number(size(32))
    emit("add", a=a, b=b, r=a + b)
    hi, lo = max(a, b), min(a, b)
    emit("sub", a=hi, b=lo, r=hi - lo)
    if a < b:
        # Below zero the difference wraps at the width of the wider operand.
        emit("sub", a=a, b=b, r=(a - b) % (1 << (32 * max(words(a), words(b)))))
    emit("mul", a=a, b=b, r=a * b)

for _ in range(10):
    a = number(size(48))
    emit("mul", a=a, b=a, r=a * a)

# Division: random shapes, plus quotients made to have words of all ones and remainders
# just below the divisor.
for _ in range(120):
    b = number(size(24))
    a = number(words(b) + rng.randint(-1, 24))
    emit("divmod", a=a, b=b, q=a // b, r=a % b)
for _ in range(60):
    b = number(size(20), special=0.6)
    q = number(size(10), special=0.8)
    r = rng.choice([0, b - 1, rng.randrange(b)])
    a = b * q + r
    emit("divmod", a=a, b=b, q=q, r=r)
# A classic case where the estimate is one too large and the divisor is added back.
a = (0x7FFFFFFF << 96) | (0x80000000 << 64)
b = (0x80000000 << 64) | 1
emit("divmod", a=a, b=b, q=a // b, r=a % b)

for _ in range(60):
    m = number(size(24))
    a, b = number(size(24)), number(size(24))
    emit("mulmod", a=a, b=b, m=m, r=(a * b) % m)

for bits in [32, 33, 64, 100, 256, 508, 512, 512, 512, 1024, 2048]:
    m = rng.getrandbits(bits) | (1 << (bits - 1)) | 1
    base = rng.getrandbits(bits) % m
    e = rng.getrandbits(bits) | (1 << (bits - 1))
    emit("powmod", a=base, e=e, m=m, r=pow(base, e, m))
for _ in range(40):
    m = number(size(12))
    base = number(size(16))  # may exceed the modulus
    e = rng.choice([0, 1, 2, 3, 4, 65537, number(size(4))])
    emit("powmod", a=base, e=e, m=m, r=pow(base, e, m))

for _ in range(40):
    g = number(size(4))
    a, b = g * number(size(10)), g * number(size(10))
    emit("gcd", a=a, b=b, r=math.gcd(a, b))

for _ in range(40):
    m = number(size(16)) | 1
    if m == 1:
        m = 0xFFFFFFFB
    while True:
        a = number(size(16)) % m
        if a and math.gcd(a, m) == 1:
            break
    emit("invmod", a=a, m=m, r=pow(a, -1, m))

SMALL = [3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47]
for _ in range(60):
    n = number(size(8)) | 1
    small = int(any(n % p == 0 for p in SMALL))
    fermat = int(pow(2, n, n) == 2)
    emit("prime", n=n, small=small, fermat=fermat, probable=int(not small and fermat))
# Primes, so the Fermat branch is reached.
for bits in [40, 64, 128, 254]:
    while True:
        n = rng.getrandbits(bits) | (1 << (bits - 1)) | 1
        if all(n % p for p in SMALL) and pow(2, n, n) == 2 and pow(3, n - 1, n) == 1:
            break
    emit("prime", n=n, small=0, fermat=1, probable=1)
