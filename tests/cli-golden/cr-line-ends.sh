# A dump whose lines end in CR alone says why its output is empty.
tr -d "\n" < gauge.txt > cr.txt
zorqconvert-cli --check cr.txt
