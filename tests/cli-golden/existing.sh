# An output that exists is refused, and appended to only with --append.
printf "earlier\r\n" > out.csv
{
  zorqconvert-cli gauge.txt out.csv
  echo "exit $?"
  zorqconvert-cli --from-type 3 --to-type 1 gauge.txt out.csv
  echo "exit $?"
  zorqconvert-cli --append gauge.txt out.csv
} 2>&1 | sed "s|$PWD/|./|g"
