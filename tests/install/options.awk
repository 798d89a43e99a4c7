# Prints the option names of option lines: lines of text that start with an option, such as
# "--rom FILE   the ROM", "--help, --version" or "-DNAME[=VALUE], -UNAME, -IDIR". A long
# option is --name; a short one is its dash and letter (-D of -DNAME). After an option and its
# argument words, ", " leads to the next option of the same line.
{
    line = $0
    sub(/^[ \t]+/, "", line)
    while (match(line, /^--?[A-Za-z][A-Za-z0-9-]*/)) {
        option = substr(line, 1, RLENGTH)
        line = substr(line, RLENGTH + 1)
        if (option !~ /^--/) option = substr(option, 1, 2)
        if (option !~ /-$/) print option
        sub(/^[^ ,]*/, "", line)
        while (match(line, /^ [A-Za-z][A-Za-z0-9_=.\[\]]*/) && substr(line, 2, 1) != "-")
            line = substr(line, RLENGTH + 1)
        if (!sub(/^, */, "", line)) break
    }
}
