# Names that would change the terminal or break a line are quoted and escaped.
cp stamp.txt "$(printf "st\namp\033]0;owned\a.txt")"
cp gauge.txt "it's here.txt"
zorqconvert-cli -o out "$(printf "st\namp\033]0;owned\a.txt")" "it's here.txt"
