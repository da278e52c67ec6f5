#!/bin/sh
# check-log.sh EXPECTED LOG: each line of EXPECTED must occur in LOG in that
# order, byte for byte; "?text" anywhere (other threads' work), "!text" nowhere.
# Prints what is missing and exits 1 then.
LC_ALL=C awk '
  FNR == NR { want[++n] = $0; next }
  { log_text = $0 }
  END {
    rest = log_text; bad = 0
    for (i = 1; i <= n; i++) {
      w = want[i]
      if (substr(w, 1, 1) == "?") {
        if (index(log_text, substr(w, 2)) == 0) { print "the log lacks: " substr(w, 2); bad = 1 }
        continue
      }
      if (substr(w, 1, 1) == "!") {
        if (index(log_text, substr(w, 2)) > 0) { print "the log holds what it must not: " substr(w, 2); bad = 1 }
        continue
      }
      at = index(rest, w)
      if (at == 0) { print "the log lacks (in order): " w; bad = 1; continue }
      rest = substr(rest, at + length(w))
    }
    exit bad
  }' "$1" RS="$(printf '\001')" "$2"
