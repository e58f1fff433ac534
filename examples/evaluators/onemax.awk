# OneMax for the Command problem: the cost of a bit string is its number of zero bits.
# A header line gives the number of individuals that follow, one line of genes each; the answer
# is one cost per line, written at once when the last individual is read. mawk (the awk of
# Debian) reads its input in large blocks, waiting for more than a generation, unless it is told
# -W interactive, as onemax-awk.xml does; it then writes every piece of output at once, so the
# answers are gathered and printed in one piece.
left == 0 {
    left = $1
    answers = ""
    next
}
{
    zeros = 0
    for (i = 1; i <= NF; i++) if ($i == 0) zeros++
    answers = answers zeros "\n"
    if (--left == 0) printf "%s", answers
}
