#!/usr/bin/env python3
"""Checks a Tavon Datalogging archive (a SQLite file) against its own history, by
docs/history-format.md alone: every chain and its signatures, its personal keys' binding rows and
its sign-offs, the finished sessions' bytes, each session, index upload and kept copy against the
rows, and a pinned head.

    verify-history.py ARCHIVE.sqlite [--trusted-keys FILE] [--head ROW:HASH]

Prints each mismatch on a line of its own, then a last line. Exit status: 0 clean, 1 a mismatch,
2 bad arguments, 6 the archive is not there or cannot be read. The file is opened read-only and
never changed."""

import argparse
import hashlib
import os
import re
import sqlite3
import sys
import urllib.parse
from collections import defaultdict

try:
    from cryptography.exceptions import InvalidSignature
    from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PublicKey
except ImportError:
    Ed25519PublicKey = None

EXIT_CLEAN, EXIT_MISMATCH, EXIT_USAGE, EXIT_UNREADABLE = 0, 1, 2, 6

# Schema versions (MAX(version) of schema_migrations) from which the history holds each part.
HISTORY_VERSION, ALL_BYTES_VERSION, SYNC_VERSION, SIGNING_VERSION = 5, 8, 9, 10
INSTRUMENT_UID_VERSION, PERSONAL_VERSION = 11, 12
LATEST_VERSION = PERSONAL_VERSION
# What each version adds that tells it from the one before, newest first: a table, or a column of
# one (version 12 adds none). The newest found is the least version the tables are of.
VERSION_MARKS = [
    (11, "instruments", "uid"), (10, "archive_history", "signer"), (9, "archive_identity", None),
    (8, "session_history", "sector"), (7, "instruments", "firmware"), (6, "session_events", None),
    (5, "archive_history", None), (4, "instruments", "serial_number"), (3, "sessions", "line_head"),
    (2, "session_history", None), (1, "sessions", None),
]

ROW_COLUMNS = "seq, changed_at, os_user, host, kind, detail, sessions, previous, hash"
HEX64 = re.compile(rb"[0-9a-f]{64}")
SESSION_LINE = re.compile(
    rb"([1-9][0-9]{0,18}) ([0-9a-f]{64})(?: (open|finished|copy)(?: ([0-9a-f]{32}))?)?")
INDEX_LINE = re.compile(rb"index ([1-9][0-9]{0,18}) ([0-9a-f]{64})")
RECORDED_HEAD = re.compile(
    rb"\(identity ([0-9A-Za-z{}-]+)\), its history's head row ([0-9]{1,18}), ([0-9a-f]{64})")
RULE_TEXT = b"from this row on, each sign-off is signed by a personal key"
BINDING = re.compile(rb'key ([0-9a-f]{64}) is the personal key of "((?:[^"\\]|\\["\\])+)"')


class Unreadable(Exception):
    """The archive cannot be read as one."""


def text(value):
    """A column's value as the bytes a hash takes: text as stored, numbers in decimal."""
    if value is None:
        return b""
    if isinstance(value, bytes):
        return value
    if isinstance(value, float) and value.is_integer():
        value = int(value)
    return str(value).encode()


def whole(value):
    """A column's value as a whole number (0 when it holds none)."""
    if isinstance(value, int):
        return value
    if isinstance(value, float):
        return int(value)
    match = re.fullmatch(rb"-?[0-9]+", text(value).strip())
    return int(match.group(0)) if match else 0


def is_utf8(value):
    """Whether a text column holds UTF-8 text (a number reads as its digits)."""
    try:
        text(value).decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def said(value):
    return text(value).decode("utf-8", "replace")


def field(data):
    return str(len(data)).encode() + b":" + data


def sha256_hex(*fields):
    digest = hashlib.sha256()
    for data in fields:
        digest.update(data)
    return digest.hexdigest()


def stored_bytes_hash(name, sector, overrun):
    return sha256_hex(field(text(name)), field(text(sector)), field(text(overrun)))


def used_length(sector):
    return len(sector.rstrip(b"\xff"))


def grows(old_name, old_sector, new_name, new_sector):
    """Whether the new bytes are the old grown: the same name, the old stream a whole prefix of
    the new, which goes on after it."""
    used = used_length(old_sector)
    return (old_name == new_name and new_sector[:used] == old_sector[:used]
            and used_length(new_sector) > used)


def fingerprint(public_hex):
    """The key's fingerprint, or '' for a text that is not a public key."""
    if not HEX64.fullmatch(public_hex):
        return ""
    digest = hashlib.sha256(bytes.fromhex(public_hex.decode())).hexdigest()[:32]
    return ":".join(digest[i:i + 4] for i in range(0, 32, 4))


def normal_fingerprint(line):
    digits = re.sub(r"[:\s-]", "", line).lower()
    if not re.fullmatch(r"[0-9a-f]{32}", digits):
        return ""
    return ":".join(digits[i:i + 4] for i in range(0, 32, 4))


def runs(rows):
    """'1-40, 52': row numbers in runs."""
    out, i = [], 0
    while i < len(rows):
        j = i
        while j + 1 < len(rows) and rows[j + 1] == rows[j] + 1:
            j += 1
        out.append(str(rows[i]) if i == j else "%d-%d" % (rows[i], rows[j]))
        i = j + 1
    return ", ".join(out)


def counted(count, one, many):
    return "{:,} {}".format(count, one if count == 1 else many)


class Line:
    def __init__(self, index, block, sha, state, instrument=None):
        self.index, self.id, self.sha, self.state = index, block, sha, state
        self.instrument = instrument


def parse_sessions(raw):
    """The lines of a sessions column, and whether it is in the documented form. Like the
    program, the lines read before the first that is not a line are kept."""
    lines = []
    if raw == b"":
        return lines, True
    readable = raw.endswith(b"\n")
    in_index = False
    for part in raw.split(b"\n")[:-1] if readable else raw.split(b"\n"):
        session, index = SESSION_LINE.fullmatch(part), INDEX_LINE.fullmatch(part)
        if index:
            in_index = True
            lines.append(Line(True, int(index.group(1)), index.group(2).decode(), None))
        elif session and not in_index:
            state = session.group(3).decode() if session.group(3) else None
            instrument = session.group(4).decode() if session.group(4) else None
            lines.append(Line(False, int(session.group(1)), session.group(2).decode(), state,
                              instrument))
        else:
            return lines, False
    return lines, readable


class Row:
    def __init__(self, values, signing):
        (self.seq, self.at, self.user, self.host, self.kind, self.detail, self.sessions,
         self.previous, self.hash) = values[:9]
        self.seq, self.at = whole(self.seq), whole(self.at)
        self.signer, self.signature = (text(values[9]), text(values[10])) if signing else (b"", b"")
        self.lines, self.readable = parse_sessions(text(self.sessions))
        names = ("os_user", "host", "kind", "detail", "sessions", "previous", "hash", "signer",
                 "signature")
        self.not_text = [name for name, value in zip(names, values[2:]) if not is_utf8(value)]

    def own_hash(self):
        parts = [str(self.seq).encode(), str(self.at).encode(), self.user, self.host, self.kind,
                 self.detail, self.sessions, self.previous]
        return sha256_hex(*(field(text(p)) for p in parts))

    def session_lines(self):
        return [line for line in self.lines if not line.index]


def signature_holds(public_hex, message, signature_hex):
    if not HEX64.fullmatch(public_hex) or not re.fullmatch(rb"[0-9a-f]{128}", signature_hex):
        return False
    try:
        key = Ed25519PublicKey.from_public_bytes(bytes.fromhex(public_hex.decode()))
        key.verify(bytes.fromhex(signature_hex.decode()), message)
        return True
    except (InvalidSignature, ValueError):
        return False


class Signatures:
    """One chain's signatures against the keys it registered."""

    def __init__(self, keys):
        self.keys = keys  # public key -> (first row, "user@host" as history_keys holds it)
        self.rows = defaultdict(list)  # public key -> the rows it signed
        self.writer = {}  # public key -> "user@host" of the first row it signed
        self.personal = None  # the chain's PersonalKeys, whose bindings name personal keys
        self.own = False  # this archive's own chain, which registers each key with its row
        self.order = []
        self.first_signed = 0
        self.rule_from = 0
        self.last_seq = 0
        self.count = 0

    def check(self, row, at, out):
        self.count += 1
        self.last_seq = row.seq
        # The row that begins personal sign-offs is written only where every row is signed.
        if not self.rule_from and is_rule_row(row):
            self.rule_from = row.seq
        if not row.signer and not row.signature:
            if self.first_signed:
                out.append("%s is not signed, though its chain is signed from row %d on (its"
                           " signature was removed)" % (at, self.first_signed))
            elif self.rule_from:
                out.append("%s is not signed, though every row is from row %d on, which began"
                           " personal sign-offs (its signature was removed)"
                           % (at, self.rule_from))
            return
        self.first_signed = self.first_signed or row.seq
        signer = fingerprint(row.signer)
        named = "key " + signer if signer else "an unreadable key"
        if not signature_holds(row.signer, text(row.hash), row.signature):
            out.append("%s's signature does not match its hash: the row was hashed again by"
                       " someone without its signer's key (the chain was rebuilt)" % at)
        if row.signer not in self.keys:
            out.append("%s is signed by %s, which the archive does not hold as a signer"
                       % (at, named))
            return
        first = self.keys[row.signer][0]
        if first > row.seq:
            out.append("%s is signed by %s, which the archive registered with its row %d, after"
                       " it (the row was signed again)" % (at, named, first))
        writer = said(row.user) + "@" + said(row.host)
        if first == row.seq and self.keys[row.signer][1] != writer:
            # Who a key belongs to is what its first row says, which the hash covers.
            out.append("%s is registered as %s's, but its first row, %s, was written by %s"
                       " (the list of signers was changed outside this program)"
                       % (named, self.keys[row.signer][1], at, writer))
        if not self.rows[row.signer]:
            self.order.append(row.signer)
            self.writer[row.signer] = writer
        self.rows[row.signer].append(row.seq)

    def finish(self, whose, out, notes):
        for key, (first, _) in sorted(self.keys.items(), key=lambda k: k[1][0]):
            if first <= self.last_seq and first not in self.rows.get(key, []):
                out.append("%skey %s is registered with history row %d, which it did not sign"
                           % (whose, fingerprint(key), first))
            elif self.own and first > self.last_seq:
                out.append("key %s is registered with history row %d, which the history does not"
                           " hold (it ends at row %d)" % (fingerprint(key), first, self.last_seq))
        if self.count and self.first_signed != 1:
            notes.append(starts_note(whose, self.first_signed, self.last_seq,
                                     "rows were signed", "signing starts at row %d",
                                     "signing starts with the next row"))

    def untrusted(self, whose, trusted, out):
        for key in self.order:
            if fingerprint(key) in trusted:
                continue
            rows = self.rows[key]
            bound = self.personal.bound.get(key) if self.personal else None
            signer = ("%s (key %s)" % (quoted_name(bound[1]), fingerprint(key)) if bound else
                      "key %s (%s)" % (fingerprint(key), self.writer[key]))
            out.append("%s%s %s %s signed by %s, which is not a trusted key"
                       % (whose, "history row" if len(rows) == 1 else "history rows", runs(rows),
                          "is" if len(rows) == 1 else "are", signer))


def starts_note(whose, first, last, before, starts, next_row):
    """Where a rule of the chain begins: "history rows 1 to 12 were written before ...; ..."."""
    if first == 0:
        rows, then = last, next_row
    else:
        rows, then = first - 1, starts % first
    written = "history row 1 was" if rows == 1 else "history rows 1 to %d were" % rows
    return "%s%s written before %s; %s" % (whose, written, before, then)


def is_rule_row(row):
    """Whether the row says that from it on each sign-off is signed by a personal key."""
    detail = text(row.detail)
    return text(row.kind) == b"started" and (detail == RULE_TEXT
                                            or detail.endswith(b"; " + RULE_TEXT))


def quoted_name(name):
    """A printed name as the views show it: in quotes, its quotes and backslashes escaped."""
    out = []
    for c in name:
        if c in '"\\':
            out.append("\\" + c)
        elif ord(c) < 0x20 or 0x7f <= ord(c) <= 0x9f or c in "\u2028\u2029":
            out.append("\\x%02x" % ord(c))
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


def bound_name(name):
    """A printed name as a binding row writes it, its backslashes taken away."""
    return said(re.sub(rb'\\(["\\])', rb"\1", name))


class PersonalKeys:
    """One chain's personal keys: the rows that bind them to printed names, and the sign-offs they
    sign from the chain's rule row on."""

    def __init__(self):
        self.rule_row = 0  # R: the chain's first rule row
        self.bound = {}  # public key -> (its binding row, the printed name)
        self.signers = set()  # every key that signed a row so far
        self.last = 0

    def check(self, row, at, out):
        self.last = row.seq
        kind = text(row.kind)
        if not self.rule_row and is_rule_row(row):
            self.rule_row = row.seq
        if kind == b"signer":
            self.binding(row, at, out)
        elif kind == b"sign-off":
            if self.rule_row and row.signer not in self.bound:
                out.append("%s is a sign-off signed by %s, which no row before it binds to a"
                           " printed name: from row %d on, a sign-off is signed by a personal key"
                           % (at, named_key(row.signer), self.rule_row))
        elif row.signer in self.bound:
            out.append("%s (%s) is signed by the personal key %s of \"%s\", which signs only its"
                       " binding and sign-offs" % (at, said(kind), fingerprint(row.signer),
                                                  self.bound[row.signer][1]))
        if row.signer:
            self.signers.add(row.signer)

    def binding(self, row, at, out):
        """A binding row's checks; only one that passes them all binds its key."""
        match = BINDING.fullmatch(text(row.detail))
        if not match:
            out.append("%s is a binding row that binds no key: its detail is not 'key KEY is the"
                       " personal key of \"NAME\"'" % at)
            return
        key, name = match.group(1), bound_name(match.group(2))
        bound = "%s binds key %s to \"%s\"" % (at, fingerprint(key), name)
        if row.signer != key:
            out.append("%s but is signed by %s, not by the key it binds"
                       % (bound, named_key(row.signer)))
        elif key in self.bound:
            out.append("%s, which history row %d bound to \"%s\" already: a key is bound once"
                       % (bound, self.bound[key][0], self.bound[key][1]))
        elif key in self.signers:
            out.append("%s, which signed rows of the chain before it (a personal key's first row"
                       " is its binding)" % bound)
        else:
            self.bound[key] = (row.seq, name)

    def finish(self, whose, notes):
        if self.last and self.rule_row != 1:
            notes.append(starts_note(whose, self.rule_row, self.last,
                                     "sign-offs were signed by personal keys",
                                     "a sign-off needs one from row %d on",
                                     "its sign-offs are checked as before"))


def named_key(public_hex):
    signer = fingerprint(public_hex)
    return "key " + signer if signer else ("no key" if not public_hex else "an unreadable key")


TAKEN_LIST = re.compile(
    rb": [0-9]+ rows? of ((?:archive [0-9A-Za-z{}-]+ up to its row [0-9]{1,18}(?:, )?)+)$")
TAKEN_ONE = re.compile(rb"archive ([0-9A-Za-z{}-]+) up to its row ([0-9]{1,18})")


TAKEN_ROW = b"history rows of other archives synced from "


def taken_chains(detail):
    """The chains a sync row written before heads had hashes says it took in: (identity, up to
    row M) each."""
    detail = text(detail)
    if not detail.startswith(TAKEN_ROW):
        return []
    found = TAKEN_LIST.search(detail)
    return TAKEN_ONE.findall(found.group(1)) if found else []


class Records:
    """What one chain's rows recorded of the blocks they name."""

    def __init__(self):
        self.named = {}  # session -> the row of its last line
        self.now = {}  # session -> (hash, row): its last non-copy line
        self.finished = {}  # session -> (hash, row): its first `finished` line
        self.every = defaultdict(set)  # session -> every hash a line gave it
        self.anywhere = set()
        self.came_with = {}  # (session, hash) -> (identity, head row, row)
        self.index = {}  # index upload -> (hash, row)
        self.growth = defaultdict(list)  # session -> (previous hash, hash, row)
        self.stated = {}  # session -> (state, hash) of its last stated non-copy line
        self.last = {}  # session -> (state, row) of its last non-copy line
        self.instrument = {}  # session -> (identity, row) of the last line naming its instrument
        self.stated_from = 0
        self.instrumented_from = 0
        self.heads = []  # (identity, row N, hash, the row recording it) of each sync's head
        self.taken = []  # (identity, up to row M, the row recording it) of each chain taken in
        self.copies = {}  # (session, hash) -> the first row naming it as a copy kept
        self.hashes = {}  # row -> its hash
        self.first_naming = 0
        self.newest = 0

    def add(self, row, whose, out):
        head = RECORDED_HEAD.findall(text(row.detail)) if text(row.kind) == b"sync" else []
        synced = head and int(head[-1][1]) > 0 and row.session_lines()
        if text(row.kind) == b"sync" and text(row.detail).startswith(TAKEN_ROW):
            # Each chain taken in, up to a head its row names (or, in rows written before,
            # up to a row without its hash).
            for ident, upto, sha in head:
                self.heads.append((ident, int(upto), sha.decode(), row.seq))
                self.taken.append((ident, int(upto), row.seq))
            self.taken += [(ident, int(upto), row.seq) for ident, upto in taken_chains(row.detail)]
        elif head and int(head[-1][1]) > 0:
            self.heads.append((head[-1][0], int(head[-1][1]), head[-1][2].decode(), row.seq))
        unstated = uninstrumented = False
        for line in row.lines:
            if line.index:
                self.index[line.id] = (line.sha, row.seq)
                continue
            if line.state is not None:
                if line.instrument:
                    self.instrumented_from = self.instrumented_from or row.seq
                uninstrumented = uninstrumented or not line.instrument
            self.first_naming = self.first_naming or row.seq
            if synced and line.sha not in self.every[line.id]:
                self.came_with[(line.id, line.sha)] = (head[-1][0], int(head[-1][1]), row.seq)
            self.every[line.id].add(line.sha)
            self.anywhere.add(line.sha)
            self.named[line.id] = row.seq
            if line.state == "copy":
                self.copies.setdefault((line.id, line.sha), row.seq)
            if line.state != "copy":
                self.now[line.id] = (line.sha, row.seq)
                self.last[line.id] = (line.state, row.seq)
                if line.instrument:
                    self.instrument[line.id] = (line.instrument, row.seq)
            if line.state is None:
                unstated = unstated or bool(self.stated_from)
            else:
                self.stated_from = self.stated_from or row.seq
                self.finished_rule(row, line, whose, out)
        if unstated:
            out.append("%shistory row %d names sessions without their state, which its chain"
                       " gives from row %d on" % (whose, row.seq, self.stated_from))
        if uninstrumented and self.instrumented_from:
            out.append("%shistory row %d names sessions without their instrument, which its chain"
                       " names from row %d on" % (whose, row.seq, self.instrumented_from))
        self.newest = max(self.newest, row.seq)

    def finished_rule(self, row, line, whose, out):
        if line.state == "copy":
            return
        done = self.finished.get(line.id)
        at = "%shistory row %d" % (whose, row.seq)
        if done and line.state == "open":
            out.append("%s records session %d as open, which history row %d recorded as"
                       " finished" % (at, line.id, done[1]))
        elif done and line.sha != done[0]:
            out.append("%s records other bytes for session %d (%s), which history row %d"
                       " recorded as finished (%s): a finished session's bytes never change"
                       % (at, line.id, line.sha, done[1], done[0]))
        elif not done and line.state == "finished":
            self.finished[line.id] = (line.sha, row.seq)
        before = self.stated.get(line.id)
        if before and before[0] == "open" and before[1] != line.sha:
            self.growth[line.id].append((before[1], line.sha, row.seq))
        self.stated[line.id] = (line.state, line.sha)

    def must_hold(self, session):
        """The hash a session's bytes must have now and the row that recorded it."""
        return self.finished.get(session) or self.now.get(session)

    def finish(self, whose, notes):
        if self.stated_from and self.stated_from != self.first_naming:
            notes.append(starts_note(whose, self.stated_from, self.newest,
                                     "a finished session's bytes were fixed",
                                     "the rule applies from row %d", ""))


class Verifier:
    def __init__(self, db, trusted, head):
        self.db, self.trusted, self.head = db, trusted, head
        self.mismatches, self.notes, self.conflicts = [], [], []
        self.counts = defaultdict(int)
        self.version = whole(self.one("SELECT COALESCE(MAX(version), 0) FROM schema_migrations"))
        self.pending = set()
        self.own = None
        self.others = {}
        self.grown_bytes = defaultdict(dict)  # session -> hash -> (name, sector)

    def one(self, sql, values=()):
        return self.db.execute(sql, values).fetchone()[0]

    def tables_version(self):
        tables = {said(r[0]) for r in self.db.execute(
            "SELECT name FROM sqlite_master WHERE type = 'table'")}
        for version, table, column in VERSION_MARKS:
            if table in tables and (column is None or column in {
                    said(r[1]) for r in self.db.execute("PRAGMA table_info(%s)" % table)}):
                return version
        return 0

    def run(self):
        if self.version > LATEST_VERSION:
            raise Unreadable("the archive's schema is version %d, newer than this program's %d"
                             % (self.version, LATEST_VERSION))
        if self.version < self.tables_version():
            raise Unreadable("the archive records schema version %d but holds the tables of a"
                             " later version (changed outside this program)" % self.version)
        if self.version < HISTORY_VERSION:
            raise Unreadable("its schema (version %d) is from before the history; open it once"
                             " with tavon-datalog to begin it" % self.version)
        values = [r[0] for r in self.db.execute("SELECT DISTINCT pending FROM history_start")]
        self.pending = {whole(v) for v in values if isinstance(v, int)}
        signatures = []
        self.own = self.check_chain(b"", signatures)
        if self.version >= SYNC_VERSION:
            for (origin,) in self.db.execute(
                    "SELECT DISTINCT origin FROM origin_history ORDER BY origin").fetchall():
                self.others[text(origin)] = self.check_chain(text(origin), signatures)
        held = self.db.execute("SELECT (SELECT COUNT(*) FROM sessions) +"
                               " (SELECT COUNT(*) FROM index_uploads)").fetchone()[0]
        unstarted = self.counts["rows"] == 0 and whole(held) == 0
        # A start still asked for over an archive that holds rows or bytes was asked for outside
        # the program: tavon-datalog leaves it, and this check names it.
        if 2 in self.pending or (1 in self.pending and not unstarted):
            self.mismatches.append("history_start asks for the history to be begun again, which"
                                   " no migration asked for (written outside this program): the"
                                   " archive's bytes would be recorded afresh")
        elif 1 in self.pending:
            self.notes.append("the history has not begun yet: tavon-datalog begins it when it"
                              " next opens the archive")
        # Only those two values are the migrations': the program leaves any other as it is.
        for value in sorted((v for v in values if v not in (1, 2)), key=str):
            self.mismatches.append(
                "history_start holds the value %s, which no version of this program writes"
                " (written outside this program)"
                % (value if isinstance(value, int) else quoted_name(said(value))))
        if self.counts["rows"] == 0 and not unstarted:
            self.mismatches.append("the history is empty: its rows were deleted")
        self.check_taken_chains()
        self.check_sessions()
        if self.version >= ALL_BYTES_VERSION:
            self.check_index_uploads()
            self.check_copies()
        self.check_growth()
        if self.trusted is not None:
            for whose, chain in signatures:
                chain.untrusted(whose, self.trusted, self.mismatches)
        if self.head is not None:
            self.check_head()

    def check_chain(self, origin, signatures):
        whose = "archive %s's " % said(origin) if origin else ""
        signing = self.version >= SIGNING_VERSION
        self.counts["chains"] += 1
        records = Records()
        chain = Signatures({})
        chain.own = not origin
        if signing:
            for key, first, user, host in self.db.execute(
                    "SELECT public_key, first_seq, os_user, host FROM history_keys"
                    " WHERE origin = CAST(? AS TEXT) ORDER BY first_seq", (origin,)):
                chain.keys[text(key)] = (whole(first), said(user) + "@" + said(host))
            signatures.append((whose, chain))
        columns = ROW_COLUMNS + (", signer, signature" if signing else "")
        query = ("SELECT %s FROM archive_history ORDER BY seq" % columns if not origin else
                 "SELECT %s FROM origin_history WHERE origin = CAST(? AS TEXT) ORDER BY seq"
                 % columns)
        # An archive made before personal keys (schema version 12) has no rule row, and its
        # sign-offs verify as before; it gets one when the program next opens it.
        personal = PersonalKeys() if signing else None
        chain.personal = personal
        expected, before = 1, b""
        for values in self.db.execute(query, () if not origin else (origin,)):
            row = Row(values, signing)
            self.counts["rows"] += 1
            at = "%shistory row %d" % (whose, row.seq)
            if row.seq > expected:
                self.mismatches.append(whose + (
                    "history row %d is missing (deleted)" % expected if row.seq == expected + 1
                    else "history rows %d to %d are missing (deleted)" % (expected, row.seq - 1)))
            elif text(row.previous) != before:
                self.mismatches.append(at + " does not follow the row before it (a row was"
                                            " changed, deleted or put in between)")
            if not row.readable:
                self.mismatches.append(at + ": its list of sessions is unreadable")
            for column in row.not_text:
                self.mismatches.append("%s's %s is not UTF-8 text (written outside this program)"
                                       % (at, column))
            if row.own_hash().encode() != text(row.hash):
                self.mismatches.append(at + " does not match its own hash (changed after it was"
                                            " written)")
            if signing:
                chain.check(row, at, self.mismatches)
            if personal is not None:
                personal.check(row, at, self.mismatches)
            records.add(row, whose, self.mismatches)
            records.hashes[row.seq] = said(row.hash)
            expected, before = row.seq + 1, text(row.hash)
        if signing:
            chain.finish(whose, self.mismatches, self.notes)
        if personal is not None:
            personal.finish(whose, self.notes)
            # The program writes the rule row on the opening that reaches this schema: an own
            # chain without it had the row taken out, and then any key's sign-off would pass.
            if not origin and self.version >= PERSONAL_VERSION and personal.last and \
                    not personal.rule_row:
                self.mismatches.append(
                    "history rows 1 to %d hold no row saying that sign-offs are signed by"
                    " personal keys, which every history of this schema has (the row was taken"
                    " out)" % personal.last)
        records.finish(whose, self.notes)
        return records

    def held_as_bytes(self, at, kinds):
        """Byte columns hold bytes: one rewritten as text is not what the program wrote."""
        for column, kind in kinds:
            if said(kind) not in ("blob", "null"):
                self.mismatches.append("%s's %s is stored as %s, not as bytes (rewritten outside"
                                       " this program)" % (at, column, said(kind)))

    def as_last_recorded(self, sid, at, uid, complete):
        """The session's instrument and state as the last line naming it gave them."""
        instrument = self.own.instrument.get(sid)
        if instrument and instrument[0] != said(uid):
            self.mismatches.append("%s is filed under the instrument %s, history row %d recorded"
                                   " it under %s (moved outside this program)"
                                   % (at, said(uid) or "without an identity", instrument[1],
                                      instrument[0]))
        state, row = self.own.last.get(sid, (None, 0))
        if state in ("open", "finished") and (whole(complete) != 0) != (state == "finished"):
            self.mismatches.append("%s is marked %s, history row %d recorded it %s (its complete"
                                   " column was changed outside this program)"
                                   % (at, "finished" if whole(complete) else "open", row, state))

    def check_taken_chains(self):
        """What this archive's own sync rows recorded of the other archives' chains held here."""
        for ident, upto, row in self.own.taken:
            held = self.others.get(ident)
            if held is None:
                self.mismatches.append("history row %d recorded archive %s's history taken up to"
                                       " its row %d, but no copy of that history is held here"
                                       " (taken out, or its identity changed)"
                                       % (row, said(ident), upto))
            elif held.newest < upto:
                self.mismatches.append("history row %d recorded archive %s's history taken up to"
                                       " its row %d, but the copy held here ends at its row %d"
                                       " (rows were deleted)" % (row, said(ident), upto, held.newest))
        for ident, seq, sha, row in self.own.heads:
            held = self.others.get(ident)
            there = held.hashes.get(seq) if held else None
            if there is not None and there != sha:
                self.mismatches.append("history row %d recorded archive %s's head as its row %d,"
                                       " %s, but the copy of that history held here carries %s"
                                       " for that row (changed after the sync)"
                                       % (row, said(ident), seq, sha, there))

    def check_sessions(self):
        unfound = dict(self.own.named)
        uid = "i.uid" if self.version >= INSTRUMENT_UID_VERSION else "''"
        for (sid, name, sector, overrun, digest, instrument, complete, name_kind, sector_kind,
             overrun_kind) in self.db.execute(
                "SELECT s.id, s.name, b.sector, b.overrun, s.digest, %s, s.complete,"
                " typeof(s.name), typeof(b.sector), typeof(b.overrun) FROM sessions s"
                " LEFT JOIN session_bytes b ON b.session_id = s.id"
                " LEFT JOIN instruments i ON i.id = s.instrument_id ORDER BY s.id" % uid):
            sid = whole(sid)
            self.counts["sessions"] += 1
            at = "session %d" % sid
            recorded = self.own.must_hold(sid)
            unfound.pop(sid, None)
            if recorded is None:
                self.mismatches.append(at + " is in no history row")
                continue
            if sector is None:
                self.mismatches.append(at + "'s stored bytes are missing")
                continue
            self.held_as_bytes(at, (("name", name_kind), ("sector", sector_kind),
                                    ("overrun", overrun_kind)))
            self.as_last_recorded(sid, at, instrument, complete)
            now = stored_bytes_hash(name, sector, overrun)
            if sha256_hex(text(sector)) != said(digest):
                self.mismatches.append(at + ": its digest column does not match its sector")
            if now != recorded[0]:
                self.mismatches.append("%s: its stored bytes hash to %s, history row %d recorded"
                                       " %s" % (at, now, recorded[1], recorded[0]))
            if sid in self.own.growth:
                self.grown_bytes[sid][now] = (text(name), text(sector))
        for sid in sorted(unfound):
            recorded = self.own.must_hold(sid)
            self.mismatches.append("session %d, recorded in history row %d, is missing from the"
                                   " archive" % (sid, recorded[1] if recorded else unfound[sid]))

    def check_index_uploads(self):
        unfound = dict(self.own.index)
        for uid, data, kind in self.db.execute(
                "SELECT id, bytes, typeof(bytes) FROM index_uploads ORDER BY id"):
            uid = whole(uid)
            self.counts["index uploads"] += 1
            at = "index upload %d" % uid
            recorded = unfound.pop(uid, None)
            if recorded is None:
                self.mismatches.append(at + " is in no history row")
                continue
            now = sha256_hex(text(data))
            self.held_as_bytes(at, (("bytes", kind),))
            if now != recorded[0]:
                self.mismatches.append("%s: its stored bytes hash to %s, history row %d recorded"
                                       " %s" % (at, now, recorded[1], recorded[0]))
        for uid in sorted(unfound):
            self.mismatches.append("index upload %d, recorded in history row %d, is missing from"
                                   " the archive" % (uid, unfound[uid][1]))

    def check_copies(self):
        conflict = "h.conflict" if self.version >= SYNC_VERSION else "0"
        unheld, held, kept = dict(self.own.copies), {}, []
        for (cid, sid, name, sector, overrun, digest, is_conflict, name_kind, sector_kind,
             overrun_kind) in self.db.execute(
                "SELECT h.id, h.session_id, h.name, h.sector, h.overrun, h.digest, %s,"
                " typeof(h.name), typeof(h.sector), typeof(h.overrun) FROM session_history h"
                " WHERE h.sector IS NOT NULL ORDER BY h.id" % conflict):
            cid, sid, is_conflict = whole(cid), whole(sid), whole(is_conflict) != 0
            self.counts["conflicting copies" if is_conflict else "replaced copies"] += 1
            if is_conflict:
                at = "the conflicting copy %d of session %d" % (cid, sid)
            else:
                at = "the copy of session %d replaced as %d" % (sid, cid)
            if is_conflict:
                self.conflicts.append("session %d holds a conflicting copy (%d), kept beside it"
                                      " from another archive" % (sid, cid))
            self.held_as_bytes(at, (("name", name_kind), ("sector", sector_kind),
                                    ("overrun", overrun_kind)))
            now = stored_bytes_hash(name, sector, overrun)
            if now not in self.own.every.get(sid, ()):
                self.mismatches.append("%s: its stored bytes hash to %s, which no history row"
                                       " recorded for that session" % (at, now))
            came = self.own.came_with.get((sid, now))
            theirs = self.others.get(came[0]) if came else None
            if theirs is not None and theirs.newest >= came[1] and now not in theirs.anywhere:
                self.mismatches.append("%s: its stored bytes hash to %s, which the history of"
                                       " archive %s, whose copy history row %d took, never"
                                       " recorded" % (at, now, said(came[0]), came[2]))
            if sha256_hex(text(sector)) != said(digest):
                self.mismatches.append(at + ": its digest column does not match its sector")
            if not is_conflict and sid in self.own.growth:
                self.grown_bytes[sid][now] = (text(name), text(sector))
            unheld.pop((sid, now), None)
            if (sid, now) in held:
                self.mismatches.append("%s holds the same bytes as its copy %d (a copy held twice)"
                                       % (at, held[(sid, now)]))
            held[(sid, now)] = cid
            kept.append((sid, is_conflict, text(name), text(sector), at))
        self.replaced_grow_into(kept)
        for (sid, sha), row in sorted(unheld.items()):
            self.mismatches.append("history row %d names a copy of session %d kept beside it (%s),"
                                   " which the archive no longer holds (taken out)"
                                   % (row, sid, sha))

    def replaced_grow_into(self, kept):
        """A copy kept as replaced grows into the session's bytes now or into another copy."""
        for sid, is_conflict, name, sector, at in kept:
            if is_conflict:
                continue
            into = [(n, s) for k_sid, _, n, s, _ in kept if k_sid == sid]
            now = self.db.execute("SELECT s.name, b.sector FROM sessions s JOIN session_bytes b"
                                  " ON b.session_id = s.id WHERE s.id = ?", (sid,)).fetchone()
            if now is not None:
                into.append((text(now[0]), text(now[1])))
            if not any(grows(name, sector, n, s) for n, s in into):
                self.mismatches.append("%s is kept as replaced, but its bytes grow into none the"
                                       " session holds (its conflict flag was changed outside"
                                       " this program)" % at)

    def check_growth(self):
        for sid in sorted(self.own.growth):
            held = self.grown_bytes.get(sid, {})
            for before, after, row in self.own.growth[sid]:
                old, new = held.get(before), held.get(after)
                if old is None or new is None or not grows(old[0], old[1], new[0], new[1]):
                    self.mismatches.append("history row %d records session %d grown to bytes that"
                                           " do not extend the ones it had (%s)"
                                           % (row, sid, before))

    def check_head(self):
        seq, wanted = self.head
        newest = self.one("SELECT COALESCE(MAX(seq), 0) FROM archive_history")
        found = self.db.execute("SELECT hash FROM archive_history WHERE seq = ?",
                                (seq,)).fetchone()
        if whole(newest) < seq:
            self.mismatches.append("the history ends at row %d, before the pinned head, row %d:"
                                   " rows were deleted" % (whole(newest), seq))
        elif found is None:
            self.mismatches.append("history row %d, the pinned head, is missing (deleted)" % seq)
        elif said(found[0]) != wanted:
            self.mismatches.append("history row %d is not the pinned head: it carries the hash %s,"
                                   " the head pinned %s" % (seq, said(found[0]), wanted))

    def last_line(self):
        c = self.counts
        blocks = [counted(c["sessions"], "session", "sessions")]
        for what, one in (("index uploads", "index upload"), ("replaced copies", "replaced copy"),
                          ("conflicting copies", "conflicting copy")):
            if c[what]:
                blocks.append(counted(c[what], one, what))
        what = ", ".join(blocks) + " and " + counted(c["rows"], "history row", "history rows")
        if c["chains"] > 1:
            what += " in " + counted(c["chains"], "chain", "chains")
        line = ("Verified: %s, no mismatch" % what if not self.mismatches else
                "Verification failed: %s in %s"
                % (counted(len(self.mismatches), "mismatch", "mismatches"), what))
        if self.trusted is None and self.version >= SIGNING_VERSION:
            line += "; the signatures were checked for consistency only (no --trusted-keys)"
        return line


def read_trusted(path):
    try:
        with open(path, "rb") as f:
            # A list anyone may write could hold any key: refused, as tavon-datalog refuses it.
            mode = os.fstat(f.fileno()).st_mode
            if mode & 0o022:
                raise argparse.ArgumentTypeError(
                    "the list of trusted keys %s may be written by other users (mode %04o):"
                    " only its owner may write it" % (path, mode & 0o777))
            content = f.read()
    except OSError as e:
        raise argparse.ArgumentTypeError("cannot read the trusted keys %s: %s"
                                         % (path, e.strerror))
    trusted = set()
    for number, raw in enumerate(content.split(b"\n"), 1):
        line = raw.decode("utf-8", "replace").strip()
        if not line or line.startswith("#"):
            continue
        normal = normal_fingerprint(line)
        if normal:
            trusted.add(normal)
        else:
            print("verify-history: %s, line %d, is not a fingerprint, left out: %s"
                  % (path, number, line), file=sys.stderr)
    return trusted


def read_head(value):
    match = re.fullmatch(r"([1-9][0-9]{0,18}):([0-9a-fA-F]{64})", value)
    if not match:
        raise argparse.ArgumentTypeError("--head takes ROW:HASH (a row number, a colon and 64"
                                         " hex digits), not %r" % value)
    return int(match.group(1)), match.group(2).lower()


def open_read_only(path):
    """The archive opened so that nothing is written or made beside it: read-only, and, when
    no program has it open (no -wal or -shm beside it), immutable so that SQLite makes neither."""
    if not os.path.isfile(path):
        raise Unreadable("no archive at %s" % path)
    uri = "file:" + urllib.parse.quote(os.path.abspath(path)) + "?mode=ro"
    quiet = not any(os.path.exists(path + s) for s in ("-wal", "-shm"))
    db = sqlite3.connect(uri + ("&immutable=1" if quiet else ""), uri=True)
    db.text_factory = bytes
    return db, quiet


def file_state(path):
    info = os.stat(path)
    return (info.st_size, info.st_mtime_ns, os.path.exists(path + "-wal"))


def verify(path, trusted, head):
    for _ in range(3):
        before = file_state(path) if os.path.isfile(path) else None
        db, quiet = open_read_only(path)
        try:
            db.execute("BEGIN")  # one snapshot for the rows and the blocks they name
            names = {said(r[0]) for r in db.execute("SELECT name FROM sqlite_master")}
            if not {"schema_migrations", "sessions", "session_bytes"} <= names:
                raise Unreadable("%s holds no archive" % path)
            verifier = Verifier(db, trusted, head)
            verifier.run()
        except sqlite3.Error as e:
            raise Unreadable("cannot read %s: %s" % (path, e))
        finally:
            db.close()
        # Read without SQLite's locks, a file a program began writing meanwhile is read again.
        if not quiet or file_state(path) == before:
            return verifier
    raise Unreadable("%s kept changing while it was read" % path)


HELP_TEXT = """\
Checks a Tavon Datalogging SQLite archive against its own history, as docs/history-format.md
describes it, without the program. For the archive's own chain and each other archive's chain a
sync took in (origin_history):
  - rows numbered 1, 2, 3, ... (a gap is a deleted row), each following the row before, each
    matching its own hash, each list of sessions readable;
  - signatures: each signed row's Ed25519 signature over its hash, by a key the chain registered
    with that row or an earlier one, no row unsigned once signing began, each key registered with
    a row it signed; with --trusted-keys, every row signed by a key the file holds;
  - personal keys and sign-offs: each binding row (kind signer) binds a key to a printed name,
    is signed by that key, binds it once and before it signed any row; from the chain's rule row
    on, each sign-off is signed by a key an earlier row bound; a bound key signs nothing but its
    binding and sign-offs;
  - a finished session's bytes never change, and a chain that gives session states gives them
    on every later line.
Then against the archive's own chain: an open session grows only by extending its bytes; each
session's bytes and digest as the rows record them, each index upload and kept copy (a copy a
sync took recorded by its archive's chain too), every session and index upload a row names
present; and with --head, the pinned head."""

HELP_EPILOG = """\
Prints each mismatch on a line of its own, then a last line. Exit status: 0 clean, 1 a mismatch,
2 bad arguments, 6 no archive there, one that cannot be read, or no Python cryptography module
(Debian: python3-cryptography). Changes nothing; it cannot see rows deleted from the end of the
history without --head, and does not compare with another archive (archive verify --against)."""


def main(argv):
    parser = argparse.ArgumentParser(
        prog="verify-history.py", formatter_class=argparse.RawDescriptionHelpFormatter,
        description=HELP_TEXT, epilog=HELP_EPILOG)
    parser.add_argument("archive", metavar="ARCHIVE.sqlite",
                        help="the archive's SQLite file, opened read-only")
    parser.add_argument("--trusted-keys", metavar="FILE", type=read_trusted,
                        help="the fingerprints of the keys trusted to sign, one a line")
    parser.add_argument("--head", metavar="ROW:HASH", type=read_head,
                        help="a head pinned before: row ROW must be there and carry HASH")
    args = parser.parse_args(argv)
    if Ed25519PublicKey is None:
        print("verify-history: the signatures cannot be checked without Python's cryptography"
              " module (Debian: apt-get install python3-cryptography)", file=sys.stderr)
        return EXIT_UNREADABLE
    try:
        verifier = verify(args.archive, args.trusted_keys, args.head)
    except Unreadable as e:
        print("verify-history: %s" % e, file=sys.stderr)
        return EXIT_UNREADABLE
    for line in verifier.notes + verifier.conflicts + verifier.mismatches:
        print(line)
    print(verifier.last_line())
    return EXIT_MISMATCH if verifier.mismatches else EXIT_CLEAN


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
