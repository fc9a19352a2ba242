# FROM and TO the same file, in the words of the command line.
zorqconvert-cli --append gauge.txt gauge.txt
