# OneMax for the Command problem: the cost of a bit string is its number of zero bits.
# A header line gives the number of individuals that follow, one line of genes each; every
# answer is one cost per line, flushed once the whole generation is answered. mawk (the awk of
# Debian) reads its input in large blocks, waiting for more than a generation, unless it is told
# -W interactive, as the configuration onemax-awk.xml does.
left == 0 {
    left = $1
    next
}
{
    zeros = 0
    for (i = 1; i <= NF; i++) if ($i == 0) zeros++
    print zeros
    if (--left == 0) fflush()
}
