# Each malformed call: its reason, the short usage, exit status 64.
for call in "--bogus logger.txt out.csv" "--j logger.txt out.csv" "--append=yes logger.txt out.csv" \
  "-x logger.txt out.csv" "logger.txt out.csv --gain" "--from-type 4 logger.txt out.csv" \
  "--to-type 2 logger.txt out.csv" "--gain 1.5x logger.txt out.csv" "--jobs 0 -o out logger.txt" \
  "--json logger.txt out.csv --json" "logger.txt" "--check -o out logger.txt" \
  "--append --overwrite logger.txt out.csv" "--json logger.txt -" "--from-type 3 --gain 2 gauge.txt out.csv" \
  "-o out logger.txt ./logger.txt" "--tz Nowhere/Land --check logger.txt" "--tz zone.tab --check logger.txt" \
  "logger.txt -o result.csv"; do
  echo "\$ zorqconvert-cli $call"
  zorqconvert-cli $call 2>&1
  echo "exit $?"
done
