# A name that is not UTF-8 keeps its bytes beside it.
cp gauge.txt "$(printf "caf\351 dump.txt")"
zorqconvert-cli --json --check "$(printf "caf\351 dump.txt")"
