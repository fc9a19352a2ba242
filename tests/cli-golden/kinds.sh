# Inputs of no known kind fail alone and say why; the others convert.
zorqconvert-cli -o out gauge.txt empty.txt both.txt unscaled.txt /dev/null logger.txt
