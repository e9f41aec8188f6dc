#!/usr/bin/env python3
"""Where the bytes of a container go: every bit of its deflate stream is charged to the payload
bytes it produced (a literal symbol to its byte, a match's length and distance codes spread over
the bytes it copies, block headers to nothing), and the payload's delta records are split into
command words and literal bytes.

Usage: bench/delta_anatomy.py patch.pat
Besides the shares, it counts the runs of a copy, a literal of 1 to 4 bytes and a copy that
continues the first in the old file (a changed displacement or constant in code), and what each
such run costs.
"""
import argparse
import struct
import sys
import zlib
from collections import Counter, defaultdict


class Bits:
    def __init__(self, data):
        self.data = data
        self.pos = 0  # bit position

    def get(self, n):
        value = 0
        for i in range(n):
            byte = self.data[self.pos >> 3]
            value |= ((byte >> (self.pos & 7)) & 1) << i
            self.pos += 1
        return value


def build_decoder(lengths):
    """Canonical Huffman: map (length, code) -> symbol."""
    counts = Counter(l for l in lengths if l)
    code = 0
    next_code = {}
    for bits in range(1, 16):
        code = (code + counts.get(bits - 1, 0)) << 1
        next_code[bits] = code
    table = {}
    for symbol, l in enumerate(lengths):
        if l:
            table[(l, next_code[l])] = symbol
            next_code[l] += 1
    return table


def decode_symbol(bits, table):
    code = 0
    for length in range(1, 16):
        code = (code << 1) | bits.get(1)
        symbol = table.get((length, code))
        if symbol is not None:
            return symbol, length
    raise ValueError("bad Huffman code")


LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115,
               131, 163, 195, 227, 258]
LENGTH_EXTRA = [0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0]
DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537,
             2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
DIST_EXTRA = [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13]


def inflate_with_costs(raw):
    """Inflates raw deflate data; returns (bytes, bits charged to each byte, header bits)."""
    bits = Bits(raw)
    out = bytearray()
    cost = []
    header_bits = 0
    fixed_lit = build_decoder([8] * 144 + [9] * 112 + [7] * 24 + [8] * 8)
    fixed_dist = build_decoder([5] * 30)
    while True:
        start = bits.pos
        final = bits.get(1)
        kind = bits.get(2)
        if kind == 0:
            bits.pos = (bits.pos + 7) & ~7
            length = bits.get(16)
            bits.get(16)
            header_bits += bits.pos - start
            for _ in range(length):
                out.append(bits.get(8))
                cost.append(8.0)
        else:
            if kind == 1:
                lit, dist = fixed_lit, fixed_dist
            else:
                hlit = bits.get(5) + 257
                hdist = bits.get(5) + 1
                hclen = bits.get(4) + 4
                order = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]
                cl = [0] * 19
                for i in range(hclen):
                    cl[order[i]] = bits.get(3)
                cl_table = build_decoder(cl)
                lengths = []
                while len(lengths) < hlit + hdist:
                    symbol, _ = decode_symbol(bits, cl_table)
                    if symbol < 16:
                        lengths.append(symbol)
                    elif symbol == 16:
                        lengths += [lengths[-1]] * (3 + bits.get(2))
                    elif symbol == 17:
                        lengths += [0] * (3 + bits.get(3))
                    else:
                        lengths += [0] * (11 + bits.get(7))
                lit = build_decoder(lengths[:hlit])
                dist = build_decoder(lengths[hlit:])
            header_bits += bits.pos - start
            while True:
                at = bits.pos
                symbol, _ = decode_symbol(bits, lit)
                if symbol < 256:
                    out.append(symbol)
                    cost.append(float(bits.pos - at))
                elif symbol == 256:
                    header_bits += bits.pos - at
                    break
                else:
                    length = LENGTH_BASE[symbol - 257] + bits.get(LENGTH_EXTRA[symbol - 257])
                    d, _ = decode_symbol(bits, dist)
                    distance = DIST_BASE[d] + bits.get(DIST_EXTRA[d])
                    share = (bits.pos - at) / length
                    for _ in range(length):
                        out.append(out[-distance])
                        cost.append(share)
        if final:
            return bytes(out), cost, header_bits


def read_string(payload, at):
    end = payload.index(b"\0", at)
    return payload[at:end], end + 1


def delta_records(payload):
    at = 4
    _, at = read_string(payload, at)
    (messages,) = struct.unpack_from("<i", payload, at); at += 4
    for _ in range(max(messages, 0)):
        _, at = read_string(payload, at)
        _, at = read_string(payload, at)
    (versions,) = struct.unpack_from("<i", payload, at); at += 4
    at += 4 * max(versions - 1, 0)
    (idents,) = struct.unpack_from("<i", payload, at); at += 4
    for _ in range(max(idents, 0)):
        _, at = read_string(payload, at)
        at += 4 * versions
    (ops,) = struct.unpack_from("<i", payload, at); at += 4
    for _ in range(max(ops, 0)):
        kind = payload[at]
        (length,) = struct.unpack_from("<I", payload, at + 1)
        body = at + 5
        if kind in (1, 2):
            p = body + 2
            name, p = read_string(payload, p)
            yield name, p + 16, body + length
        at = body + length


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("container")
    args = parser.parse_args()
    data = open(args.container, "rb").read()
    compressed_length, payload_size = struct.unpack_from("<II", data, 4)
    stream = data[12:12 + compressed_length]
    payload, cost, header_bits = inflate_with_costs(stream[2:-4])
    assert payload == zlib.decompress(stream), "inflater disagrees with zlib"

    share = defaultdict(float)   # bits by category
    count = Counter()            # bytes by category
    events = Counter()
    pattern_bits = 0.0
    pattern_count = 0
    for name, at, end in delta_records(payload):
        commands = []
        while at < end:
            (word,) = struct.unpack_from("<I", payload, at)
            if word & 0x80000000:
                n = word & 0x7FFFFFFF
                commands.append(("L", at, n, None))
                at += 4 + n
            else:
                (offset,) = struct.unpack_from("<I", payload, at + 4)
                commands.append(("C", at, word, offset))
                at += 8
        for i, (kind, start, n, offset) in enumerate(commands):
            if kind == "L":
                share["literal header"] += sum(cost[start:start + 4])
                share["literal bytes"] += sum(cost[start + 4:start + 4 + n])
                count["literal header"] += 4
                count["literal bytes"] += n
                bucket = "1-4" if n <= 4 else "5-16" if n <= 16 else "17-64" if n <= 64 else ">64"
                share["literal bytes in runs " + bucket] += sum(cost[start + 4:start + 4 + n])
                count["literal bytes in runs " + bucket] += n
                events["literal runs " + bucket] += 1
                # copy, short literal, copy whose offset continues past the literal
                if 0 < i < len(commands) - 1 and n <= 4 and commands[i - 1][0] == "C" and commands[i + 1][0] == "C":
                    prev, nxt = commands[i - 1], commands[i + 1]
                    if nxt[3] == prev[3] + prev[2] + n:
                        pattern_count += 1
                        pattern_bits += sum(cost[start:start + 4 + n]) + sum(cost[nxt[1]:nxt[1] + 8])
            else:
                share["copy length"] += sum(cost[start:start + 4])
                share["copy offset"] += sum(cost[start + 4:start + 8])
                count["copy length"] += 4
                count["copy offset"] += 4
                events["copies"] += 1
                bucket = "<16" if n < 16 else "<64" if n < 64 else "<256" if n < 256 else ">=256"
                events["copies " + bucket] += 1
    total_bits = sum(cost) + header_bits
    print(f"{args.container}: container {len(data)} bytes, payload {payload_size} bytes, "
          f"deflate {compressed_length} bytes ({header_bits / 8:.0f} bytes of block headers)")
    print(f"{'':34} {'payload B':>10} {'deflated B':>11} {'bits/byte':>9} {'share':>6}")
    for key in ["copy length", "copy offset", "literal header", "literal bytes",
                "literal bytes in runs 1-4", "literal bytes in runs 5-16", "literal bytes in runs 17-64",
                "literal bytes in runs >64"]:
        if count[key]:
            print(f"  {key:32} {count[key]:10d} {share[key] / 8:11.0f} {share[key] / count[key]:9.2f} "
                  f"{share[key] / total_bits:6.1%}")
    rest = total_bits - sum(share[k] for k in ["copy length", "copy offset", "literal header", "literal bytes"])
    print(f"  {'everything else':32} {'':10} {rest / 8:11.0f}")
    for key in sorted(events):
        print(f"  {key:32} {events[key]:10d}")
    if pattern_count:
        print(f"  copy, literal of 1-4, continuing copy: {pattern_count} times, "
              f"{pattern_bits / pattern_count / 8:.2f} bytes each (literal word and bytes, next copy)")


if __name__ == "__main__":
    main()
