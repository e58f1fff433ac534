#!/usr/bin/python3
# OneMax for the Command problem: the cost of a bit string is its number of zero bits.
# Each exchange: a line with the number of individuals, then one line of genes per individual;
# the answer is one cost per line, flushed once the whole generation is answered.
import sys


def main():
    read = sys.stdin.readline
    while True:
        header = read()
        if not header:
            return  # Valdrin closed our input: the experiment is over
        count = int(header)
        costs = []
        for _ in range(count):
            genes = read().split()
            costs.append(str(genes.count("0")))
        sys.stdout.write("\n".join(costs) + "\n")
        sys.stdout.flush()


main()
