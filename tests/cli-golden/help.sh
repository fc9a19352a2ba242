# --help: the usage, every option from the option table, the exit statuses.
zorqconvert-cli --help
