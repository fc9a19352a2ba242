# A dump converted as the wrong type: the hint is given as options.
zorqconvert-cli --from-type 1 logger.txt out.csv
echo "exit $?"
zorqconvert-cli --from-type 2 gauge.txt out.csv
echo "exit $?"
ls
