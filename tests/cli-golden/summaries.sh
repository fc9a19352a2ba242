# A summary per input, the failure where an editor can jump to it, the status line last.
zorqconvert-cli -o out logger.txt stamp.txt odd.txt gauge.txt
