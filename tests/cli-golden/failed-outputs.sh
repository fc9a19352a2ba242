# A failed conversion leaves nothing under the TO's name: what it wrote is
# kept as NAME.partial; an appended TO keeps its records before the failure.
printf "earlier\r\n" > old.csv
printf "earlier\r\n" > appended.csv
zorqconvert-cli stamp.txt new.csv
echo "exit $?"
zorqconvert-cli --overwrite stamp.txt old.csv
echo "exit $?"
zorqconvert-cli --append stamp.txt appended.csv
echo "exit $?"
printf "earlier\r\n" > locked.csv
chmod 444 locked.csv
zorqconvert-cli --overwrite gauge.txt locked.csv
echo "exit $?"
ls *.csv *.partial
