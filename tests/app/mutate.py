#!/usr/bin/env python3
"""Hostile copies of real documents: each seed's bytes flipped, cut short or
(raster) its page header's sizes overwritten with values no printer takes.

    mutate.py OUT_DIR COUNT SEED_FILE...   (a fixed random seed: the same files each run)
Writes OUT_DIR/NNN.EXT, one line "NNN.EXT SEED_FILE" each on standard output."""
import os
import random
import struct
import sys

out, count, seeds = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
rng = random.Random(20261208)
# PWG header fields (after the 4-byte sync word): width, height, media color
# (unused), bits per color, bits per pixel, bytes per line, color order, space.
PWG_FIELDS = [376, 380, 388, 392, 396, 400, 404]
HUGE = [0, 1, 0x7FFFFFFF, 0xFFFFFFFF, 400000000, 65536, 3, 16, 24, 32, 2]
n = 0
for seed in seeds:
    data = open(seed, "rb").read()
    for _ in range(count):
        d = bytearray(data)
        kind = rng.randrange(4)
        if kind == 0:  # a few bytes anywhere
            for _ in range(rng.randint(1, 16)):
                d[rng.randrange(len(d))] = rng.randrange(256)
        elif kind == 1:  # cut short
            d = d[: rng.randrange(1, len(d))]
        elif data[:4] == b"RaS2":  # a header size no page of the printer has
            for _ in range(rng.randint(1, 3)):
                at = rng.choice(PWG_FIELDS)
                d[at : at + 4] = struct.pack(">I", rng.choice(HUGE))
        elif data[:7] == b"UNIRAST":  # Apple raster: bits, color, width, height of the first page
            at = rng.choice([12, 13, 24, 28, 32])
            d[at : at + 4] = struct.pack(">I", rng.choice(HUGE))[: 1 if at < 20 else 4]
        else:  # a run of bytes in the middle
            at = rng.randrange(len(d))
            d[at : at + 64] = bytes(rng.randrange(256) for _ in range(64))
        n += 1
        name = "%03d%s" % (n, os.path.splitext(seed)[1])
        open(os.path.join(out, name), "wb").write(d)
        print(name, seed)
