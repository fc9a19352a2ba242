# --quiet: only the failures.
zorqconvert-cli --quiet -o out logger.txt stamp.txt gauge.txt
