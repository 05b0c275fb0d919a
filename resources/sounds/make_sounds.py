#!/usr/bin/env python3
"""Writes keyhaven's four sounds as 16-bit mono WAV files, 22050 Hz.

GRANT  access granted: a bright rising two-note chime
DENY   access denied: a short falling two-note tone
BUZZ   repeated denial: a low, rough buzz
MOVE   the pointer moved onto a button: a soft, very short tick

Only the standard library is used, so the files can be made again anywhere:
python3 resources/sounds/make_sounds.py
The written files are committed.
"""

import math
import os
import struct
import wave

RATE = 22050
HERE = os.path.dirname(os.path.abspath(__file__))


def envelope(i, n, attack, release):
    """Linear attack and exponential release, so no sound starts or ends with a click."""
    a = int(attack * RATE)
    r = int(release * RATE)
    if i < a:
        return i / a
    if i > n - r:
        return max(0.0, (n - i) / r) ** 2
    return 1.0


def tone(freq, seconds, volume=0.5, harmonics=((1, 1.0),), attack=0.005, release=0.05, wave_=None):
    n = int(seconds * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        f = freq(t) if callable(freq) else freq
        if wave_ is None:
            s = sum(w * math.sin(2 * math.pi * f * k * t) for k, w in harmonics)
            s /= sum(w for _, w in harmonics)
        else:
            s = wave_(f, t)
        out.append(s * volume * envelope(i, n, attack, release))
    return out


def silence(seconds):
    return [0.0] * int(seconds * RATE)


def mix_at(base, extra, offset_seconds):
    start = int(offset_seconds * RATE)
    total = max(len(base), start + len(extra))
    result = base + [0.0] * (total - len(base))
    for i, v in enumerate(extra):
        result[start + i] += v
    return result


def write(name, samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = min(1.0, 0.9 / peak)
    with wave.open(os.path.join(HERE, name + ".wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(s * scale * 32767)) for s in samples))


def bell(freq, seconds, volume):
    return tone(freq, seconds, volume, harmonics=((1, 1.0), (2, 0.35), (3, 0.12)), attack=0.004, release=seconds * 0.8)


def main():
    # GRANT: E5 then A5, the second ringing over the first.
    grant = mix_at(bell(659.25, 0.35, 0.45), bell(880.0, 0.45, 0.45), 0.11)
    write("GRANT", grant)

    # DENY: two short notes falling a fourth.
    deny = tone(392.0, 0.14, 0.5, harmonics=((1, 1.0), (3, 0.2)), release=0.04) + silence(0.03) \
        + tone(293.66, 0.22, 0.5, harmonics=((1, 1.0), (3, 0.2)), release=0.1)
    write("DENY", deny)

    # BUZZ: a low square-ish wave with a slight wobble, softened at the edges.
    def rough(f, t):
        s = math.sin(2 * math.pi * f * t)
        return math.copysign(min(1.0, abs(s) * 3.0), s) * (0.8 + 0.2 * math.sin(2 * math.pi * 30 * t))
    write("BUZZ", tone(110.0, 0.45, 0.4, wave_=rough, attack=0.01, release=0.08))

    # MOVE: a quiet 30 ms tick with a falling pitch.
    write("MOVE", tone(lambda t: 1800.0 - 20000.0 * t, 0.03, 0.25, harmonics=((1, 1.0), (2, 0.3)),
                       attack=0.002, release=0.025))


if __name__ == "__main__":
    main()
