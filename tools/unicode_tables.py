#!/usr/bin/env python3
"""Writes the Unicode and IPA tables the report of removed symbols needs, as
C++ data, from the files that define them: every character's name
(UnicodeData.txt, with the aliases of NameAliases.txt for characters whose
names are only aliases, such as the controls), packed by words; the
look-alikes of confusables.txt (UTS #39), each character with the characters
it is taken for; the code points Unicode says a reader does not see
(Default_Ignorable_Code_Point, DerivedCoreProperties.txt); and the symbols of
the IPA, from an IPA <-> X-SAMPA table, each with its X-SAMPA spelling, its
kind, and its phonetic value as NamesList.txt gives it ("low back unrounded
vowel", "length mark").

usage: unicode_tables.py UnicodeData.txt NameAliases.txt confusables.txt
       DerivedCoreProperties.txt NamesList.txt ipa_xsampa.dict.yaml OUTPUT.inc
"""
import collections
import re
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


def read_ignorable(path):
    ranges = []
    for line in open(path, encoding="utf-8"):
        fields = [field.strip() for field in line.split("#")[0].split(";")]
        if len(fields) < 2 or fields[1] != "Default_Ignorable_Code_Point":
            continue
        first, _, last = fields[0].partition("..")
        ranges.append((int(first, 16), int(last or first, 16)))
    return sorted(ranges)


def read_values(names_list):
    """What each character stands for in phonetics, where NamesList.txt says:
    its note marked "IPA:", or, in the blocks of the IPA's letters and
    modifiers, its first note that names a sound or a mark rather than a use
    or a shape."""
    notes, code = collections.defaultdict(list), None
    for line in open(names_list, encoding="utf-8"):
        entry = re.match(r"^([0-9A-F]{4,6})\t", line)
        if entry:
            code = int(entry.group(1), 16)
        elif not line.startswith("\t"):
            code = None
        elif code is not None and line.strip().startswith("* "):
            notes[code].append(line.strip()[2:])
        elif code is not None and line.strip().startswith("= ligature tie"):
            TIES.add(code)
    values = {}
    for code, found in notes.items():
        marked = [note[len("IPA: "):] for note in found if note.startswith("IPA: ")]
        plain = [note for note in found
                 if 0x0250 <= code <= 0x02FF and not re.search(
                     r"letter|typograph|used|bullseye|precedes|uppercase|lowercase|"
                     r"[A-Z][a-z]+:|[A-Z][a-z]+,", note)]
        if marked or plain:
            values[code] = (marked or plain)[0]
    return values


# The kinds of IPA symbols, as engine/unicode.h numbers them.
KINDS = ["letter", "modifier", "diacritic", "tie", "stress", "syllable", "linking", "group",
         "tone", "intonation", "other"]
# X-SAMPA names the suprasegmentals and the boundaries by their spelling, which
# says what they are.
KIND_OF_XSAMPA = {'"': "stress", "%": "stress", ".": "syllable", "-\\": "linking",
                  "|": "group", "||": "group", "^": "tone", "!": "tone", "<R>": "intonation",
                  "<F>": "intonation"}
# Typed for the IPA's own where a keyboard lacks it, though no table above
# pairs them: the comma for the secondary stress mark, and the inverted breve
# that some sources write as the tie.
STAND_INS = {0x002C: 0x02CC}
EXTRA_TIES = (0x0311,)
# The ties, as NamesList.txt names them ("= ligature tie").
TIES = set()


def read_ipa(dict_yaml, categories, values):
    """Each single code point of the IPA side of the table, with its first
    X-SAMPA spelling and its kind."""
    symbols = {}
    for line in open(dict_yaml, encoding="utf-8"):
        if line.startswith("#") or "\t" not in line:
            continue
        ipa, xsampa = line.rstrip("\n").split("\t")[:2]
        if len(ipa) != 1 or ord(ipa) in symbols:
            continue
        code = ord(ipa)
        category = categories.get(code, "Cn")
        if xsampa in KIND_OF_XSAMPA:
            kind = KIND_OF_XSAMPA[xsampa]
        elif category == "Mn":
            kind = "diacritic"
        elif category in ("Lm", "Sk"):
            kind = "modifier"
        elif category.startswith("L"):
            kind = "letter"
        else:
            kind = "other"
        symbols[code] = (xsampa, kind)
    for code in TIES.union(EXTRA_TIES):
        symbols[code] = (symbols.get(code, ("",))[0], "tie")
    # The tone letters (Unicode names them so) are the IPA's too.
    return symbols


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    (unicode_data, name_aliases, confusables, derived_core, names_list, ipa_table,
     output) = sys.argv[1:8]
    names, hex_ranges = read_names(unicode_data, name_aliases)
    categories = {}
    for line in open(unicode_data, encoding="utf-8"):
        fields = line.split(";")
        categories[int(fields[0], 16)] = fields[2]
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
    out.append("inline constexpr CodePointRange kIgnorable[] = {")
    for first, last in read_ignorable(derived_core):
        out.append(f"    {{0x{first:X}, 0x{last:X}}},")
    out.append("};")
    values = read_values(names_list)
    ipa = read_ipa(ipa_table, categories, values)
    for code, name in names.items():
        if "TONE BAR" in name:
            ipa.setdefault(code, ("", "tone"))
    pool = bytearray(b"\0")
    def pooled(text):
        if not text:
            return 0
        at = len(pool)
        pool.extend(text.encode("utf-8") + b"\0")
        return at
    out.append("inline constexpr IpaEntry kIpaSymbols[] = {")
    for code in sorted(ipa):
        xsampa, kind = ipa[code]
        value = values.get(code, "") if kind in ("letter", "modifier", "diacritic") else ""
        out.append(f"    {{0x{code:X}, IpaKind({KINDS.index(kind)}), {pooled(xsampa)}, "
                   f"{pooled(value)}}},")
    out.append("};")
    out.append("inline constexpr char kIpaText[] = {")
    for at in range(0, len(pool), 24):
        out.append("    " + ",".join(str(b if b < 128 else b - 256) for b in pool[at:at + 24]) + ",")
    out.append("};")
    out.append("inline constexpr char32_t kStandIns[][2] = {")
    for source, target in sorted(STAND_INS.items()):
        out.append(f"    {{0x{source:X}, 0x{target:X}}},")
    out.append("};")
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
