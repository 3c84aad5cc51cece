# The same cleaning as the program, written as an awk script: the peer the
# benchmark compares against. Run with LC_ALL=C mawk -f clean.awk FOLDER.
BEGIN {
  RS = "\r\n|\r|\n"
  ORS = "\r\n"
  folder = ARGV[1]
  ARGV[1] = ""
  symbols = folder "/Symbols.txt"
  first = 1
  while ((getline line < symbols) > 0) {
    if (first) { sub(/^\357\273\277/, "", line); first = 0 }
    gsub(/^ +| +$/, "", line)
    if (line != "") legal[line] = 1
  }
  close(symbols)
  input = folder "/in.txt"
  fixed = folder "/FixedLines.txt"
  bad = folder "/BadLines.txt"
  printf "" > fixed
  printf "" > bad
  first = 1
  count = 0
  while ((getline line < input) > 0) {
    count++
    if (first) { sub(/^\357\273\277/, "", line); first = 0 }
    gsub(/^ +| +$/, "", line)
    gsub(/  +/, " ", line)
    if (line == "") { print count "\tblank line (removed in FixedLines.txt)" > bad; continue }
    n = split(line, tokens, / /)
    good = ""
    badsymbol = ""
    for (i = 1; i <= n; i++) {
      if (tokens[i] in legal) good = good " " tokens[i]
      else badsymbol = tokens[i]
    }
    if (good != "") print substr(good, 2) > fixed
    if (badsymbol != "") print count "\t" line "\tBad symbol removed\t" badsymbol > bad
  }
}
