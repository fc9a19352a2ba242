# One JSON object per input, fields in their order.
zorqconvert-cli --json -o out logger.txt stamp.txt odd.txt gauge.txt empty.txt both.txt
