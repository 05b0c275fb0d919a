#!/usr/bin/env python3
"""Builds the generator's word list TXTWORDS from Debian's SCOWL word lists.

TXTWORDS holds 26,661 distinct words of lower-case letters a-z: 5,094 of four
letters, 8,824 of five and 12,743 of six, sorted ascending, one per line, each
line ended by CR LF (194,276 bytes in all).

Words are taken from the most common SCOWL size levels first (English,
American and British spellings; the packages scowl, wamerican and wbritish
install them under /usr/share/dict/scowl). When a level holds more words of a
length than are still wanted, the words of that level are taken in a fixed
order given by a SHA-256 hash of each word, so the result is reproducible and
not biased towards the start of the alphabet. Offensive words (listed below in
ROT13 so the script itself stays clean) and Roman numerals are left out.

Usage: python3 make_words.py [output]   (default: TXTWORDS beside this script)
"""
import codecs
import hashlib
import os
import re
import sys

SCOWL = "/usr/share/dict/scowl"
LEVELS = [10, 20, 35, 40, 50, 55, 60, 70, 80, 95]
SPELLINGS = ["english", "american", "british"]
WANTED = {4: 5094, 5: 8824, 6: 12743}

# Offensive, vulgar or slur words and their common forms, ROT13-encoded.
BLOCKED_ROT13 = """
nany nahf nefr nefrf nefrq nffrf nffubyr obfbz obbo obbof obbol obbovr obbovrf
ohttre ohttref ohttrel ohgg ohggf pbba pbbaf pbpx pbpxf penc penccl pencf
pehq phagf phag phz phzf phzzvat qnzavg qnza qnzarq qvpx qvpxf qvpxr qvxr qvxrf
qvyqb qvyqbf qbhpur qhzo qhzoreq snt sntf snttbg snttl sneg snegf snegrq sryyngr
sybbmr shpx shpxf shpxrq shpxre tnl tnlf tbbx tbbxf trfgncb uryy uryyvfu ubzb ubzbf
ubbxre ubeal ubeavre uhfgyre whtf what wvmm xvxr xvxrf xabo xaboof xabof ynzr
yrfob yrfobf yrfovna yhfg zvqtrg zhssf zhss avttn avttnf avttre avttref avttyr
avccyr avcf bethfz betl cnqql cnxv cnxvf cnagvrf cravf cravfrf cvff cvffrq cvffre
cvffrf cbea cbeal cbeab cevpx cevpxf chor chorf chffl chffvrf dhrre dhrref
encr encrf encrq encvfg ergneq fpebghz fpebj fpery fpebgr frzra frkl funt funtf funttrq
fuvg fuvgf fuvggl fyhg fyhgf fyhggl fzhg fzhgf fcvp fcvpf fcvpx fcvpxf fcrez fghq fghqf
fhpx fhpxf fhpxrq grng grngf guebo gvgf gvggl gvggvr gvggvrf gjng gjngf hcfxvef
intvan ihyin jnax jnaxf jnaxre jnaxref jrgonpx juber jubberf jubber jbt jbtf lvq
avt avtf xhebv nony abby fghq uner ohfgl cvyy
""".split()
BLOCKED = {codecs.decode(w, "rot13") for w in BLOCKED_ROT13}
ROMAN = re.compile(r"^m{0,4}(cm|cd|d?c{0,3})(xc|xl|l?x{0,3})(ix|iv|v?i{0,3})$")
WORD = re.compile(r"^[a-z]{4,6}$")


def level_words(level):
    words = set()
    for spelling in SPELLINGS:
        path = os.path.join(SCOWL, f"{spelling}-words.{level}")
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                w = line.strip()
                if WORD.match(w) and w not in BLOCKED and not ROMAN.match(w):
                    words.add(w)
    return words


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "TXTWORDS")
    if not os.path.isdir(SCOWL):
        sys.exit(f"{SCOWL} not found: install the Debian packages scowl, wamerican and wbritish")
    chosen = set()
    for level in LEVELS:
        fresh = level_words(level) - chosen
        for length, wanted in WANTED.items():
            have = sum(1 for w in chosen if len(w) == length)
            pool = sorted((w for w in fresh if len(w) == length), key=lambda w: hashlib.sha256(w.encode()).hexdigest())
            chosen.update(pool[: max(0, wanted - have)])
    for length, wanted in WANTED.items():
        have = sum(1 for w in chosen if len(w) == length)
        if have != wanted:
            sys.exit(f"only {have} words of {length} letters found, {wanted} wanted")
    data = "".join(w + "\r\n" for w in sorted(chosen)).encode("ascii")
    with open(out, "wb") as f:
        f.write(data)
    print(f"{out}: {len(chosen)} words, {len(data)} bytes")


if __name__ == "__main__":
    main()
