#!/usr/bin/env python3
"""Feeds a FIFO with 16-bit mono sound at a real rate, paced by the clock Wine's
QueryPerformanceCounter reads (CLOCK_MONOTONIC_RAW), with a click at each instant given in that
clock's seconds: a microphone whose clock runs as fast as RATE says, with clicks exactly where a
test wants them. A late wake-up delays no later sample: the writing catches up with the clock.

    paced-feed.py FIFO RATE UNTIL [CLICK_AT...]
"""
import math
import os
import sys
import time

LEAD = 0.02  # written this far ahead, so the reader never waits for the next write
CLICK_SECONDS = 0.01
CLICK_HZ = 1000
CLICK_PEAK = 0.8


def clock():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def main():
    fifo, rate, until = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    start = clock()
    burst = [int(CLICK_PEAK * 32767 * math.sin(2 * math.pi * CLICK_HZ * i / rate))
             for i in range(int(CLICK_SECONDS * rate))]
    clicks = sorted(round((float(t) - start) * rate) for t in sys.argv[4:] if float(t) > start)
    fd = os.open(fifo, os.O_WRONLY)
    written = 0
    while clock() < until:
        due = int((clock() - start + LEAD) * rate)
        if due > written:
            samples = bytearray(2 * (due - written))
            for c in clicks:
                for i in range(max(c, written), min(c + len(burst), due)):
                    samples[2 * (i - written):2 * (i - written) + 2] = burst[i - c].to_bytes(
                        2, "little", signed=True)
            os.write(fd, samples)
            written = due
        time.sleep(0.005)


if __name__ == "__main__":
    main()
