#!/usr/bin/env python3
"""Writes examples/demo.jsonl, the demo employer's data, as JSON lines for `mvdb load`.

The demo is a home-care employer with four entities, the open periods November and
December 2026, three dozen caregivers and the persons they care for, contracts of every kind
the advances panel tells apart, advances paid and unpaid, payslip details and three users.
A handful of caregivers are written by hand because the example scripts rely on them (see
docs/demo.md); the others are drawn from a fixed seed, so the output never changes between
runs.

Usage: scripts/make-demo-data.py [OUTPUT]   (default: examples/demo.jsonl next to this script)
"""

import json
import random
import sys
from datetime import date
from pathlib import Path

FIRST_PERIOD = "202611"
SECOND_PERIOD = "202612"
PREVIOUS_PERIOD = "202610"

CONTRACT_ATTRIBUTES = 65  # the panel reads attributes up to 65


def day(d, m, y):
    """Stored date: whole days, day 1 = 1 January 1968."""
    return str((date(y, m, d) - date(1967, 12, 31)).days)


def record(file, key, attributes):
    """One JSON line; trailing empty attributes are left out."""
    attributes = list(attributes)
    while attributes and attributes[-1] == "":
        attributes.pop()
    return json.dumps({"file": file, "id": key, "rec": attributes}, ensure_ascii=False)


def attributes_from(values, size):
    """A record of `size` attributes from {attribute number: value}."""
    rec = [""] * size
    for number, value in values.items():
        rec[number - 1] = value
    return rec


ENTITIES = [
    # code, name offered in the entity box (attribute 1), employer column text (attribute 2)
    ("001", "Aide à Domicile du Val de Loire", "ADVL Tours"),
    ("002", "Présence Seniors Touraine", "Présence Seniors"),
    ("003", "Familles et Services du Berry", "FSB Bourges"),
    ("004", "Domicile Services Orléans", "DSO Orléans"),
]

PERSONS_CARED_FOR = [
    ("50001", "Mme", "VASSEUR", "Odette"),
    ("50002", "M.", "LEMAIRE", "Marcel"),
    ("50003", "Mme", "PERRIN", "Raymonde"),
    ("50004", "M.", "COLIN", "Gérard"),
    ("50005", "Mme", "BRUNET", "Simone"),
    ("50006", "Mme", "GAUTHIER", "Lucienne"),
    ("50007", "M.", "CHEVALIER", "André"),
    ("50008", "Mme", "MASSON", "Yvette"),
    ("50009", "Mme", "HENRY", "Germaine"),
    ("50010", "Mme", "ROUSSEL", "Marcelle"),
    ("50011", "M.", "MATHIEU", "Édouard"),
    ("50012", "Mme", "NICOLAS", "Paulette"),
    ("50013", "Mme", "CARON", "Suzanne"),
    ("50014", "Mme", "BRUN", "Ginette"),
    ("50015", "M.", "MARIE", "Roger"),
    ("50016", "Mme", "DUMAS", "Hélène"),
    ("50017", "M.", "AUBERT", "Lucien"),
    ("50018", "Mme", "RENARD", "Jeanne"),
    ("50019", "Mme", "BARBIER", "Henriette"),
    ("50020", "M.", "ARNAUD", "Fernand"),
]

# code, civility, surname (attribute 2), first name (attribute 3), group (attribute 31)
CAREGIVERS = [
    ("00101", "Mme", "MARTIN", "Léa", "NORD"),
    ("00102", "Mme", "MARTIN", "Hélène", "SUD"),
    ("00103", "Mme", "MARCHAND", "Zoé", "NORD"),
    ("00104", "Mme", "BERNARD", "Chloé", "EST"),
    ("00105", "Mme", "DUBOIS", "Camille", "NORD"),
    ("00106", "Mme", "THOMAS", "Inès", "OUEST"),
    ("00107", "Mme", "ROBERT", "Élodie", "EST"),
    ("00108", "Mme", "RICHARD", "Maëlle", "NORD"),
    ("00109", "Mme", "PETIT", "Noémie", "SUD"),
    ("00110", "Mme", "DURAND", "Aurélie", "NORD"),
    ("00111", "Mme", "LEROY", "Céline", "OUEST"),
    ("00112", "Mme", "MOREAU", "Gaëlle", "EST"),
    ("00113", "Mme", "SIMON", "Françoise", "NORD"),
    ("00114", "Mme", "LAURENT", "Josiane", "SUD"),
    ("00115", "Mme", "LEFÈVRE", "Agnès", "OUEST"),
    ("00116", "M.", "MICHEL", "Sébastien", "NORD"),
    ("00117", "M.", "GARCIA", "Noël", "SUD"),
    ("00118", "M.", "DAVID", "Jérôme", "EST"),
    ("00119", "Mme", "BERTRAND", "Renée", "NORD"),
    ("00120", "Mme", "ROUX", "Mélanie", "OUEST"),
    ("00121", "M.", "VINCENT", "Stéphane", "SUD"),
    ("00122", "Mme", "FOURNIER", "Anaïs", "NORD"),
    ("00123", "Mme", "MOREL", "Joëlle", "EST"),
    ("00124", "Mme", "GIRARD", "Geneviève", "NORD"),
    ("00125", "Mme", "ANDRÉ", "Béatrice", "SUD"),
    ("00126", "Mme", "MERCIER", "Thérèse", "OUEST"),
    ("00127", "Mme", "DUPONT", "Solène", "NORD"),
    ("00128", "Mme", "LAMBERT", "Cécile", "EST"),
    ("00129", "Mme", "BONNET", "Frédérique", "SUD"),
    ("00130", "M.", "FRANÇOIS", "Rémi", "NORD"),
    ("00131", "Mme", "MARTINEZ", "Valérie", "OUEST"),
    ("00132", "M.", "LEGRAND", "Hervé", "NORD"),
    ("00133", "Mme", "GARNIER", "Danièle", "EST"),
    ("00134", "M.", "FAURE", "Léon", "SUD"),
    ("00135", "Mme", "ROUSSEAU", "Nadège", "NORD"),
    ("00136", "Mme", "BLANC", "Émilie", "OUEST"),
]


class Employer:
    """Collects the records of the demo employer."""

    def __init__(self):
        self.lines = []
        self.contract_counts = {}

    def add(self, file, key, attributes):
        self.lines.append(record(file, key, attributes))

    def contract(self, caregiver, employer, entity, start, end="", cared_for="", flag28="",
                 flag65=""):
        """Adds a contract and returns its key (caregiver code + 3-digit number)."""
        number = self.contract_counts.get(caregiver, 0) + 1
        self.contract_counts[caregiver] = number
        key = f"{caregiver}{number:03d}"
        values = {1: employer, 2: entity, 3: cared_for, 7: start, 8: end, 28: flag28, 65: flag65}
        self.add("CONTRAT", key, attributes_from(values, CONTRACT_ATTRIBUTES))
        return key

    def advance(self, contract, period, hundredths, paid_on=""):
        self.add("ACOMPTEBULL", contract + period, [str(hundredths), paid_on])

    def payslip(self, contract, period, gross_hundredths, computed_on):
        """A payslip detail: its mere presence means the payslip has been computed."""
        self.add("DETAILCALCUL", contract + period, [str(gross_hundredths), computed_on])


def hand_written(employer):
    """Caregivers whose contracts the example scripts and docs/demo.md rely on."""
    c = employer.contract

    # 00101 MARTIN Léa: a provider contract and one with a person cared for, both in force in
    # November; the second has a paid advance and a computed payslip. Two old contracts that
    # the period query leaves out: one ended last year, one marked "O" in attribute 65.
    k1 = c("00101", "001", "001", day(1, 3, 2024))
    k2 = c("00101", "02", "001", day(15, 9, 2025), day(31, 12, 2026), cared_for="50001")
    c("00101", "001", "001", day(1, 1, 2023), day(30, 6, 2025))
    c("00101", "001", "001", day(1, 1, 2026), flag65="O")
    employer.advance(k1, PREVIOUS_PERIOD, 20000, day(6, 10, 2026))
    employer.payslip(k1, PREVIOUS_PERIOD, 148230, day(31, 10, 2026))
    employer.advance(k2, PREVIOUS_PERIOD, 10000, day(6, 10, 2026))
    employer.payslip(k2, PREVIOUS_PERIOD, 61275, day(31, 10, 2026))
    employer.advance(k2, FIRST_PERIOD, 12050, day(6, 11, 2026))
    employer.payslip(k2, FIRST_PERIOD, 58340, day(30, 11, 2026))

    # 00102 MARTIN Hélène (group SUD): an unpaid advance; hidden from the user "restreint".
    k = c("00102", "001", "001", day(2, 5, 2022))
    employer.advance(k, FIRST_PERIOD, 20000)

    # 00103 MARCHAND Zoé: works for entity 002 only.
    k = c("00103", "002", "002", day(1, 2, 2025))
    employer.advance(k, FIRST_PERIOD, 15000, day(5, 11, 2026))

    # 00104 BERNARD Chloé: her provider contract ended in October: no contract in November,
    # the previous month's contract is offered.
    k = c("00104", "001", "001", day(1, 4, 2025), day(20, 10, 2026))
    employer.advance(k, PREVIOUS_PERIOD, 30000, day(7, 10, 2026))

    # 00105 DUBOIS Camille: in November she only works for persons cared for ("02"); her
    # provider contract ended on 31 October.
    c("00105", "02", "001", day(1, 6, 2024), cared_for="50002")
    c("00105", "02", "001", day(1, 11, 2026), day(30, 11, 2026), cared_for="50003")
    c("00105", "001", "001", day(1, 1, 2025), day(31, 10, 2026))

    # 00106 THOMAS Inès: her only contract with entity 001 ended in 2025.
    c("00106", "001", "001", day(1, 1, 2024), day(31, 8, 2025))
    c("00106", "003", "003", day(1, 9, 2025))

    # 00107 ROBERT Élodie: a provider contract, and one recorded under entity "02" with
    # attribute 28 at "1", which no entity's query selects.
    k = c("00107", "001", "001", day(1, 10, 2025))
    c("00107", "02", "02", day(1, 10, 2025), cared_for="50004", flag28="1")
    employer.advance(k, FIRST_PERIOD, 8000)

    # 00110 DURAND Aurélie: a provider contract and thirteen persons cared for in November,
    # more rows than the lists show at once.
    c("00110", "001", "001", day(1, 9, 2021))
    for i in range(13):
        start = day(1 + i, 11, 2026) if i < 6 else day(1, 1, 2026)
        key = c("00110", "02", "001", start, cared_for=PERSONS_CARED_FOR[i + 5][0])
        if i % 3 == 0:
            employer.advance(key, FIRST_PERIOD, 2500 + 500 * i, day(8, 11, 2026))


def drawn(employer, rng):
    """The other caregivers: one to three contracts each, with advances and payslips."""
    special = {"00101", "00102", "00103", "00104", "00105", "00106", "00107", "00110"}
    for code, *_ in CAREGIVERS:
        if code in special:
            continue
        for _ in range(rng.randint(1, 3)):
            entity = rng.choice(ENTITIES)[0]
            provider = rng.random() < 0.5
            employer_code = entity if provider else "02"
            cared_for = "" if provider else rng.choice(PERSONS_CARED_FOR)[0]
            start_year = rng.randint(2019, 2026)
            start = day(1, rng.randint(1, 11 if start_year == 2026 else 12), start_year)
            end = ""
            if rng.random() < 0.3:
                end = day(31, 12, rng.randint(max(start_year, 2025), 2027))
            key = employer.contract(code, employer_code, entity, start, end, cared_for)
            if end and int(end) < int(day(1, 10, 2026)):
                continue  # ended before the advances of the demo periods
            amount = rng.choice([5000, 7500, 10000, 12050, 15000, 20000, 25000])
            employer.advance(key, PREVIOUS_PERIOD, amount, day(rng.randint(5, 9), 10, 2026))
            employer.payslip(key, PREVIOUS_PERIOD, amount * 6 + rng.randint(0, 9999),
                             day(31, 10, 2026))
            roll = rng.random()
            if roll < 0.35:
                employer.advance(key, FIRST_PERIOD, amount, day(rng.randint(5, 9), 11, 2026))
            elif roll < 0.6:
                employer.advance(key, FIRST_PERIOD, amount)
            if rng.random() < 0.15:
                employer.payslip(key, FIRST_PERIOD, amount * 6, day(30, 11, 2026))
            if rng.random() < 0.1:
                employer.advance(key, SECOND_PERIOD, amount)


def main():
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else (
        Path(__file__).resolve().parent.parent / "examples" / "demo.jsonl")
    employer = Employer()
    employer.add("PERIODESPAIE", "1", [FIRST_PERIOD, SECOND_PERIOD])
    for code, name, employer_text in ENTITIES:
        employer.add("ASSOCIATION", code, [name, employer_text])
    for code, civility, surname, first_name in PERSONS_CARED_FOR:
        employer.add("CIVILAIDE", code, [civility, surname, first_name])
    for code, civility, surname, first_name, group in CAREGIVERS:
        employer.add("CIVILAIDANT", code,
                     attributes_from({1: civility, 2: surname, 3: first_name, 31: group}, 31))
    employer.add("DICT CIVILAIDANT", "NomPrenomAidant", ["I", 'UPCASE(@2:" ":@3)'])
    hand_written(employer)
    drawn(employer, random.Random(2026))
    employer.add("UTILISATEURS", "gestionnaire", [["CONSULTACPT", "PAIE"], ["2", "2"], "*"])
    employer.add("UTILISATEURS", "consultant", ["CONSULTACPT", "1", "*"])
    employer.add("UTILISATEURS", "restreint", ["CONSULTACPT", "2", ["NORD", "EST"]])
    # The index the name search uses, built by `mvdb load` once the records are stored.
    index = json.dumps({"file": "CIVILAIDANT", "index": "NomPrenomAidant"}, ensure_ascii=False)
    output.write_text("\n".join(employer.lines + [index]) + "\n", encoding="utf-8")
    print(f"{output}: {len(employer.lines)} records and the name index")


if __name__ == "__main__":
    main()
