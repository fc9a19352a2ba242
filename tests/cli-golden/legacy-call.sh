# The call the converter always took says only its status.
zorqconvert-cli --from-type 2 --to-type 0 logger.txt out.csv
