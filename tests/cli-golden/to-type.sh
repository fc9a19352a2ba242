# A To type that does not fit is refused before anything is made.
zorqconvert-cli --to-type 1 logger.txt out.csv
status=$?
ls
exit $status
