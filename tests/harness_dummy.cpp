// Keeps the harness library non-empty.
