#!/usr/bin/env python3
"""Writes the Unicode tables the report of removed symbols needs, as C++ data,
from Unicode's own files: every character's name (UnicodeData.txt, with the
aliases of NameAliases.txt for characters whose names are only aliases, such
as the controls), packed by words; and the look-alikes of confusables.txt
(UTS #39), each character with the characters it is taken for.

usage: unicode_tables.py UnicodeData.txt NameAliases.txt confusables.txt OUTPUT.inc
"""
import collections
import sys

# Names that are a prefix and the code point in hex: kept as a prefix for a range.
HEX_NAMED_PREFIXES = (
    "CJK UNIFIED IDEOGRAPH-",
    "CJK COMPATIBILITY IDEOGRAPH-",
    "TANGUT IDEOGRAPH-",
    "KHITAN SMALL SCRIPT CHARACTER-",
    "NUSHU CHARACTER-",
)
RANGE_PREFIXES = {
    "CJK Ideograph": "CJK UNIFIED IDEOGRAPH-",
    "Tangut Ideograph": "TANGUT IDEOGRAPH-",
}


def read_names(unicode_data, name_aliases):
    names = {}
    hex_ranges = []  # (first, last, prefix)
    first_of_range = None
    for line in open(unicode_data, encoding="utf-8"):
        fields = line.rstrip("\n").split(";")
        code, name = int(fields[0], 16), fields[1]
        if name.endswith(", First>"):
            first_of_range = code
            continue
        if name.endswith(", Last>"):
            kind = name[1:-len(", Last>")]
            for key, prefix in RANGE_PREFIXES.items():
                if kind.startswith(key):
                    hex_ranges.append((first_of_range, code, prefix))
            continue  # Hangul syllables are named by rule; the rest have no names
        if name.startswith("<"):
            continue
        names[code] = name
    aliases = collections.defaultdict(dict)
    for line in open(name_aliases, encoding="utf-8"):
        line = line.split("#")[0].strip()
        if not line:
            continue
        code, alias, kind = line.split(";")
        aliases[int(code, 16)].setdefault(kind, alias)
    for code, kinds in aliases.items():
        # A correction is the name the character should have had; a control's
        # first alias is its name (CHARACTER TABULATION); a few controls have
        # only a figment of a name.
        for kind in ("correction", "control", "figment"):
            if kind in kinds and (kind == "correction" or code not in names):
                names[code] = kinds[kind]
                break
    for code, name in list(names.items()):
        for prefix in HEX_NAMED_PREFIXES:
            if name == f"{prefix}{code:04X}":
                del names[code]
                if hex_ranges and hex_ranges[-1][2] == prefix and hex_ranges[-1][1] == code - 1:
                    hex_ranges[-1] = (hex_ranges[-1][0], code, prefix)
                else:
                    hex_ranges.append((code, code, prefix))
    return names, sorted(hex_ranges)


def pack_names(names):
    """Words by frequency, the commonest in one byte; each name as the count
    of its bytes, then its words' numbers; runs of consecutive code points
    share one entry."""
    counts = collections.Counter(word for name in names.values() for word in name.split(" "))
    words = [word for word, _ in counts.most_common()]
    number = {word: i for i, word in enumerate(words)}
    assert len(words) < 0x80 * 256 + 0x80
    packed = bytearray()
    runs = []  # (first code point, count, offset)
    for code in sorted(names):
        if runs and runs[-1][0] + runs[-1][1] == code and runs[-1][1] < 0xFFFF:
            runs[-1][1] += 1
        else:
            runs.append([code, 1, len(packed)])
        name = bytearray()
        for word in names[code].split(" "):
            i = number[word]
            if i < 0x80:
                name.append(i)
            else:
                i -= 0x80
                name += bytes((0x80 | (i >> 8), i & 0xFF))
        assert len(name) < 256
        packed.append(len(name))
        packed += name
    return words, packed, runs


def read_confusables(path):
    mapping = {}
    for line in open(path, encoding="utf-8-sig"):
        line = line.split("#")[0].strip()
        if not line:
            continue
        source, target = line.split(";")[:2]
        mapping[int(source, 16)] = [int(code, 16) for code in target.split()]
    return mapping


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    unicode_data, name_aliases, confusables, output = sys.argv[1:5]
    names, hex_ranges = read_names(unicode_data, name_aliases)
    words, packed, runs = pack_names(names)
    out = ["// Made by tools/unicode_tables.py from Unicode's data files; not edited by hand."]
    out.append("inline constexpr char kNameWords[] =")
    line = ""
    for word in words:
        piece = c_string(word + "\0")[:-1].replace("\0", "\\0") + '"'
        if len(line) + len(piece) > 96:
            out.append("    " + line)
            line = ""
        line += piece
    out.append("    " + line + ";")
    out.append(f"inline constexpr std::size_t kNameWordCount = {len(words)};")
    out.append("inline constexpr unsigned char kPackedNames[] = {")
    for at in range(0, len(packed), 24):
        out.append("    " + ",".join(str(b) for b in packed[at:at + 24]) + ",")
    out.append("};")
    out.append("inline constexpr NameRun kNameRuns[] = {")
    for first, count, offset in runs:
        out.append(f"    {{0x{first:X}, {count}, {offset}}},")
    out.append("};")
    out.append("inline constexpr HexNamedRange kHexNamedRanges[] = {")
    for first, last, prefix in hex_ranges:
        out.append(f"    {{0x{first:X}, 0x{last:X}, {c_string(prefix)}}},")
    out.append("};")
    look_alikes = read_confusables(confusables)
    out.append("inline constexpr LookAlike kLookAlikes[] = {")
    targets = []
    for source in sorted(look_alikes):
        out.append(f"    {{0x{source:X}, {len(targets)}, {len(look_alikes[source])}}},")
        targets += look_alikes[source]
    out.append("};")
    out.append("inline constexpr char32_t kLookAlikeTargets[] = {")
    for at in range(0, len(targets), 12):
        out.append("    " + ",".join(f"0x{code:X}" for code in targets[at:at + 12]) + ",")
    out.append("};")
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
