# A misspelt TZ is a usage error.
TZ=Europe/Berln zorqconvert-cli --check logger.txt
