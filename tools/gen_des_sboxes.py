#!/usr/bin/python3
"""Writes modules/des/sboxes_generated.h, the eight DES S-boxes as boolean circuits.

Run with Debian 12's /usr/bin/python3 (standard library only) and commit the output; a test
runs the script with --check and fails when the checked-in file differs.

Each S-box output is a function of six inputs, held as a 64-bit truth table. The four outputs
of a box are built together as a shared decision diagram: pick an input, split every function
into its two halves (input 0 and input 1) and build those, reusing any function already built
(or its complement, for one NOT). A split becomes a plain gate whenever the halves allow it
(equal halves, complementary halves, a constant half) and a select otherwise; functions of two
inputs are single gates. Every order of the six inputs is tried and the order with the fewest
two-input gates is kept (a select counts as three: AND, XOR, XOR). The circuits are checked
against the tables before anything is written.

Usage: gen_des_sboxes.py [--check | --stdout]
"""

import itertools
import pathlib
import sys

OUTPUT = pathlib.Path(__file__).resolve().parent.parent / "modules" / "des" / "sboxes_generated.h"

# FIPS 46-3, the S-box tables: four rows (outer input bits 1 and 6) of sixteen columns
# (inner input bits 2 to 5).
SBOXES = [
    [[14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7],
     [0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8],
     [4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0],
     [15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13]],
    [[15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10],
     [3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5],
     [0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15],
     [13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9]],
    [[10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8],
     [13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1],
     [13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7],
     [1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12]],
    [[7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15],
     [13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9],
     [10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4],
     [3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14]],
    [[2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9],
     [14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6],
     [4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14],
     [11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3]],
    [[12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11],
     [10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8],
     [9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6],
     [4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13]],
    [[4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1],
     [13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6],
     [1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2],
     [6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12]],
    [[13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7],
     [1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2],
     [7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8],
     [2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11]],
]

FULL = (1 << 64) - 1
# The truth table of input i (0 = the box's first input bit): bit x of the table is the
# function's value for the input word x, whose bit 5 - i is input i.
INPUTS = [sum(1 << x for x in range(64) if x >> (5 - i) & 1) for i in range(6)]
COST = {"AND": 1, "OR": 1, "XOR": 1, "ANDNOT": 1, "NOT": 1, "SEL": 3}


def output_tables(box):
    tables = [0, 0, 0, 0]
    for x in range(64):
        row = (x >> 4 & 2) | (x & 1)
        value = box[row][x >> 1 & 15]
        for k in range(4):
            if value >> (3 - k) & 1:
                tables[k] |= 1 << x
    return tables


def cofactors(f, var):
    """The two halves of f for input var at 0 and at 1, each spread over both values of var."""
    shift = 1 << (5 - var)
    mask = INPUTS[var]
    low = f & ~mask & FULL
    high = f & mask
    return low | (low << shift), high | (high >> shift)


def support(f):
    return [v for v in range(6) if len(set(cofactors(f, v))) == 2]


class Circuit:
    def __init__(self):
        self.gates = []  # (name, op, operand names), in evaluation order
        self.known = {INPUTS[i]: "a%d" % (i + 1) for i in range(6)}
        self.cost = 0

    def emit(self, table, op, *args):
        if table in self.known:
            return self.known[table]
        name = "t%d" % len(self.gates)
        self.gates.append((name, op, args))
        self.known[table] = name
        self.cost += COST[op]
        return name

    def pair(self, f):
        """f as one gate over two already known functions, if there is such a gate."""
        items = list(self.known.items())
        for (ta, na), (tb, nb) in itertools.product(items, repeat=2):
            if na < nb:
                if ta & tb == f:
                    return self.emit(f, "AND", na, nb)
                if ta | tb == f:
                    return self.emit(f, "OR", na, nb)
                if ta ^ tb == f:
                    return self.emit(f, "XOR", na, nb)
            if na != nb and ta & ~tb & FULL == f:
                return self.emit(f, "ANDNOT", na, nb)
        return None

    def build(self, f, order):
        if f in self.known:
            return self.known[f]
        if f ^ FULL in self.known:
            return self.emit(f, "NOT", self.known[f ^ FULL])
        live = support(f)
        if len(live) <= 2:
            found = self.pair(f)
            if found is not None:
                return found
        var = next(v for v in order if v in live)
        low, high = cofactors(f, var)
        lit = self.known[INPUTS[var]]
        if high == low ^ FULL:
            return self.emit(f, "XOR", lit, self.build(low, order))
        if low == 0:
            return self.emit(f, "AND", lit, self.build(high, order))
        if high == 0:
            return self.emit(f, "ANDNOT", self.build(low, order), lit)
        if high == FULL:
            return self.emit(f, "OR", lit, self.build(low, order))
        if low == FULL:
            # f = high | ~var
            return self.emit(f, "NOT", self.build(INPUTS[var] & ~high & FULL, order))
        if low ^ high in self.known:
            # An already built difference makes the split two gates instead of a select.
            diff = self.emit(INPUTS[var] & (low ^ high), "AND", lit, self.known[low ^ high])
            return self.emit(f, "XOR", self.build(low, order), diff)
        return self.emit(f, "SEL", lit, self.build(low, order), self.build(high, order))


def circuit_for(box):
    tables = output_tables(box)
    best = None
    for order in itertools.permutations(range(6)):
        circuit = Circuit()
        outs = [circuit.build(t, order) for t in tables]
        if best is None or circuit.cost < best[0].cost:
            best = (circuit, outs)
    circuit, outs = best
    check(circuit, outs, tables)
    return circuit, outs


def evaluate(op, args):
    if op == "AND":
        return args[0] & args[1]
    if op == "OR":
        return args[0] | args[1]
    if op == "XOR":
        return args[0] ^ args[1]
    if op == "ANDNOT":
        return args[0] & ~args[1] & FULL
    if op == "NOT":
        return args[0] ^ FULL
    return (args[1] & ~args[0] & FULL) | (args[2] & args[0])  # SEL(s, if 0, if 1)


def check(circuit, outs, tables):
    values = {"a%d" % (i + 1): INPUTS[i] for i in range(6)}
    for name, op, args in circuit.gates:
        values[name] = evaluate(op, [values[a] for a in args])
    if [values[o] for o in outs] != tables:
        sys.exit("internal error: a circuit does not match its table")


def render():
    lines = [
        "// Generated by tools/gen_des_sboxes.py from the DES S-box tables; do not edit.",
        "// The eight S-boxes as circuits over any lane type V with &, |, ^ and ~ (Sel(s, a, b)",
        "// is b where s is set and a elsewhere, supplied by the includer). Inputs a1..a6 are",
        "// the box's six input bits in table order, outputs o1..o4 its four bits, first bit",
        "// first, each XORed into its destination.",
        "// Gates per box, counting a select as three:",
    ]
    bodies = []
    counts = []
    for index, box in enumerate(SBOXES, 1):
        for row in box:
            if sorted(row) != list(range(16)):
                sys.exit("S%d has a row that is not a permutation" % index)
        circuit, outs = circuit_for(box)
        selects = sum(1 for g in circuit.gates if g[1] == "SEL")
        counts.append("//   S%d: %d gates (%d operations, %d of them selects)" %
                      (index, circuit.cost, len(circuit.gates), selects))
        body = ["template <class V> inline void S%d(V a1, V a2, V a3, V a4, V a5, V a6, V& o1, V& o2, V& o3, "
                "V& o4) {" % index]
        for name, op, args in circuit.gates:
            if op == "AND":
                expr = "%s & %s" % args
            elif op == "OR":
                expr = "%s | %s" % args
            elif op == "XOR":
                expr = "%s ^ %s" % args
            elif op == "ANDNOT":
                expr = "%s & ~%s" % args
            elif op == "NOT":
                expr = "~%s" % args
            else:
                expr = "Sel(%s, %s, %s)" % args
            body.append("    const V %s = %s;" % (name, expr))
        for k, out in enumerate(outs, 1):
            body.append("    o%d ^= %s;" % (k, out))
        body.append("}")
        bodies.append("\n".join(body))
    total = sum(int(c.split()[2]) for c in counts)
    lines += counts
    lines.append("//   total: %d gates" % total)
    lines.append("")
    lines.append("#pragma once")
    lines.append("")
    lines.append("\n\n".join(bodies))
    return "\n".join(lines) + "\n"


def main():
    text = render()
    if "--stdout" in sys.argv:
        sys.stdout.write(text)
    elif "--check" in sys.argv:
        if OUTPUT.read_text() != text:
            sys.exit("%s is not what %s writes" % (OUTPUT, pathlib.Path(__file__).name))
    else:
        OUTPUT.write_text(text)


if __name__ == "__main__":
    main()
