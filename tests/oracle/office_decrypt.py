#!/usr/bin/env python3
"""An independent reading of Office CryptoAPI encryption (RC4 and standard AES), and of the
older binary RC4, of an .accdb.

    office_decrypt.py IN OUT PASSWORD

Checks PASSWORD against the file's verifier and writes OUT, the same database unencrypted: every
page but page 0 decrypted, and in page 0 the encoding key and the password field set to zeros,
so that any reader opens OUT as a plain file. Written from the format's public description,
apart from the engine: hashlib for SHA-1, the `cryptography` package for AES, RC4 here.

Exit status: 0 done, 2 wrong password, 3 not an encryption this script reads.
"""

import hashlib
import math
import struct
import sys

PAGE = 4096
HEADER_MASK_KEY = bytes([0xC7, 0xDA, 0x39, 0x6B])
MASKED_START, MASKED_LENGTH = 0x18, 128
ENCODING_KEY_AT = 0x3E
PASSWORD_AT, PASSWORD_LENGTH = 0x42, 40
CREATED_AT = 0x72
INFO_AT = 0x299
AES_FLAG = 0x20
SPIN = 50000


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray(len(data))
    i = j = 0
    for n, byte in enumerate(data):
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out[n] = byte ^ s[(s[i] + s[j]) & 0xFF]
    return bytes(out)


def sha1(*parts):
    h = hashlib.sha1()
    for p in parts:
        h.update(p)
    return h.digest()


def aes_ecb(key, data, encrypt=False):
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

    cipher = Cipher(algorithms.AES(key), modes.ECB())
    op = cipher.encryptor() if encrypt else cipher.decryptor()
    return op.update(data) + op.finalize()


class BinaryRc4:
    """Version 1.1: MD5, a 40-bit key spread with the salt, RC4."""

    def __init__(self, info, password):
        salt, verifier, verifier_hash = info[4:20], info[20:36], info[36:52]
        h = hashlib.md5(password.encode("utf-16-le")).digest()[:5]
        self.base = hashlib.md5((h + salt) * 16).digest()[:5]
        both = rc4(self.key(bytes(4)), verifier + verifier_hash)
        self.valid = hashlib.md5(both[:16]).digest() == both[16:]

    def key(self, block):
        return hashlib.md5(self.base + block).digest()

    def decrypt(self, block, page):
        return rc4(self.key(block), page)


class Scheme:
    def __init__(self, info, password):
        major, minor, _, header_size = struct.unpack_from("<HHII", info, 0)
        if minor != 2 or major not in (2, 3, 4):
            raise NotImplementedError(f"version {major}.{minor}")
        flags, _, alg, alg_hash, key_bits = struct.unpack_from("<5I", info, 12)
        if alg_hash not in (0, 0x8004):
            raise NotImplementedError(f"hash {alg_hash:#x}")
        v = 12 + header_size
        salt_size = struct.unpack_from("<I", info, v)[0]
        self.salt = info[v + 4 : v + 4 + salt_size]
        self.verifier = info[v + 4 + salt_size : v + 20 + salt_size]
        hash_size = struct.unpack_from("<I", info, v + 20 + salt_size)[0]
        self.verifier_hash = info[v + 24 + salt_size :]
        self.aes = alg in (0x660E, 0x660F, 0x6610) or (alg == 0 and flags & AES_FLAG)
        pwd = password.encode("utf-16-le")
        base = sha1(self.salt, pwd)
        if self.aes:
            bits = {0x660F: 192, 0x6610: 256}.get(alg, 128)
            if key_bits not in (0, bits):
                raise NotImplementedError(f"AES key of {key_bits} bits")
            self.key_bytes = bits // 8
            for i in range(SPIN if flags & AES_FLAG else 0):
                base = sha1(struct.pack("<I", i), base)
        else:
            if alg not in (0, 0x6801):
                raise NotImplementedError(f"algorithm {alg:#x}")
            self.key_bits = key_bits or 40
        self.base = base
        zero = bytes(4)
        if self.aes:
            key = self.key(zero)
            plain = aes_ecb(key, self.verifier)
            check = aes_ecb(key, self.verifier_hash[:32])[:hash_size]
        else:
            both = rc4(self.key(zero), self.verifier + self.verifier_hash[:hash_size])
            plain, check = both[:16], both[16:]
        self.valid = sha1(plain)[:hash_size] == check

    def key(self, block):
        if self.aes:
            hb = sha1(self.base, block)
            x1 = sha1(bytes(b ^ 0x36 for b in hb) + bytes([0x36] * (64 - len(hb))))
            x2 = sha1(bytes(b ^ 0x5C for b in hb) + bytes([0x5C] * (64 - len(hb))))
            return (x1 + x2)[: self.key_bytes]
        key = sha1(self.base, block)[: self.key_bits // 8]
        return key + bytes(11) if self.key_bits == 40 else key

    def decrypt(self, block, page):
        return aes_ecb(self.key(block), page) if self.aes else rc4(self.key(block), page)


def main(src, dst, password):
    data = open(src, "rb").read()
    header = bytearray(data[:PAGE])
    masked = slice(MASKED_START, MASKED_START + MASKED_LENGTH)
    header[masked] = rc4(HEADER_MASK_KEY, header[masked])
    encoding_key = bytes(header[ENCODING_KEY_AT : ENCODING_KEY_AT + 4])
    (length,) = struct.unpack_from("<H", header, INFO_AT)
    info = bytes(header[INFO_AT + 2 : INFO_AT + 2 + length])
    try:
        if info[:4] == bytes([1, 0, 1, 0]):
            scheme = BinaryRc4(info, password)
        else:
            scheme = Scheme(info, password)
    except NotImplementedError as e:
        print(f"not read here: {e}", file=sys.stderr)
        return 3
    if not scheme.valid:
        print("wrong password", file=sys.stderr)
        return 2
    out = bytearray()
    header[ENCODING_KEY_AT : ENCODING_KEY_AT + 4] = bytes(4)
    # No password: the field holds only the mask of the creation date's whole days.
    days = int(math.floor(struct.unpack_from("<d", header, CREATED_AT)[0])) & 0xFFFFFFFF
    header[PASSWORD_AT : PASSWORD_AT + PASSWORD_LENGTH] = bytes(
        (days >> (8 * (i % 4))) & 0xFF for i in range(PASSWORD_LENGTH)
    )
    header[masked] = rc4(HEADER_MASK_KEY, header[masked])
    out += header
    for number in range(1, len(data) // PAGE):
        block = bytes(k ^ ((number >> (8 * i)) & 0xFF) for i, k in enumerate(encoding_key))
        out += scheme.decrypt(block, data[number * PAGE : (number + 1) * PAGE])
    open(dst, "wb").write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
