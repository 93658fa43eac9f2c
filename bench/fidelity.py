"""Output fidelity: Brindlemoor's and readpst's MSG files, read back through msgconvert.

Both converters convert the same folders; msgconvert (an independent MSG reader) turns every
MSG file back into a MIME message; each message is matched to what the store holds (the read
floor's --dump) by its subject and scored field by field: subject, sender, To, CC, the
attachments' names and sizes, the number of attachments (embedded messages included) and the
start of the plain-text body.

Property coverage (property_coverage, or this file run as a script): the share of every stored
message's properties (the store's bookkeeping left out; named properties by name) that its MSG
file holds, through the converter and through the property copy (brindlemoor-msgcopy).

  python3 bench/fidelity.py --build build STORE.pst [--folder PATH]...
"""

import argparse
import collections
import email
import email.policy
import json
import mailbox
import re
import shutil
import subprocess
from email.utils import getaddresses
from pathlib import Path

# Folders of the synthetic store small enough to read back whole.
SAMPLE_FOLDERS = ["/Top of Personal Folders/Clients"]
FIELDS = ["subject", "sender", "to", "cc", "attachment count", "attachment data", "body text"]


def _words(text):
    return re.sub(r"\s+", " ", text or "").strip()


def store_messages(tools, store):
    messages = {}
    for folder in SAMPLE_FOLDERS:
        result = subprocess.run([str(tools.floor), str(store), "--folder", folder, "--dump"],
                                check=True, capture_output=True, text=True)
        for line in result.stdout.splitlines():
            record = json.loads(line)
            if "subject" in record:
                messages[record["subject"]] = record
    return messages


def read_back(msg_files, work, name):
    """Every MSG file as a parsed MIME message, through one msgconvert run."""
    mbox = work / f"{name}.mbox"
    mbox.unlink(missing_ok=True)
    if msg_files:
        subprocess.run(["msgconvert", "--mbox", str(mbox)] + [str(f) for f in msg_files],
                       check=True, capture_output=True)
    if not mbox.exists():
        return []
    return [email.message_from_bytes(m.as_bytes(), policy=email.policy.default)
            for m in mailbox.mbox(str(mbox))]


def _addresses(message, header):
    return sorted(a.lower() for _, a in getaddresses(message.get_all(header, [])) if a)


def _attachments(message):
    found = []
    for part in message.walk():
        if part.get_content_disposition() == "attachment" or (
                part.get_filename() and not part.is_multipart()):
            payload = part.get_payload(decode=True)
            found.append((part.get_filename() or "", len(payload) if payload else 0,
                          part.get_content_type()))
        elif part.get_content_type() == "message/rfc822":
            found.append(("", 0, "message/rfc822"))
    return found


def _body_text(message):
    texts = []
    for part in message.walk():
        if part.get_content_maintype() == "text" and part.get_content_disposition() != "attachment":
            try:
                content = part.get_content()
            except (LookupError, ValueError):
                continue
            if part.get_content_subtype() == "html":
                content = re.sub(r"<[^>]+>", " ", content)
            texts.append(content)
    return _words(" ".join(texts))


def _attachment_data_kept(expected, found):
    """Every by-value attachment is there with its size and, when it has one, its name."""
    unmatched = [(name, size) for name, size, kind in found if kind != "message/rfc822"]
    for attachment in (a for a in expected if not a["embedded"]):
        match = next((f for f in unmatched if f[1] == attachment["size"] and
                      (not attachment["name"] or f[0] == attachment["name"])), None)
        if match is None:
            return False
        unmatched.remove(match)
    return True


def score(message, truth):
    """Which fields of `message` agree with the store; a dict of field name to bool."""
    by_type = {1: [], 2: []}
    for recipient in truth["recipients"]:
        if recipient["type"] in by_type and recipient["address"]:
            by_type[recipient["type"]].append(recipient["address"].lower())
    found = _attachments(message)
    sender = _addresses(message, "from")
    body_start = _words(truth["plain_text"])[:80]
    return {
        "subject": _words(str(message.get("subject", ""))) == _words(truth["subject"]),
        "sender": sender == [truth["sender_address"].lower()],
        "to": _addresses(message, "to") == sorted(by_type[1]),
        "cc": _addresses(message, "cc") == sorted(by_type[2]),
        "attachment count": len(found) == len(truth["attachments"]),
        "attachment data": _attachment_data_kept(truth["attachments"], found),
        "body text": body_start in _body_text(message),
    }


def compare(tools, store, work):
    """Scores of both converters over the sample folders of `store`."""
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    truth = store_messages(tools, store)

    ours = work / "brindlemoor"
    ours.mkdir()
    command = [str(tools.cli), "convert", str(store), str(ours), "--temp", str(work)]
    for folder in SAMPLE_FOLDERS:
        command += ["--folder", folder]
    subprocess.run(command, check=True, capture_output=True)
    peer = work / "readpst"
    peer.mkdir()
    subprocess.run(["readpst", "-m", "-q", "-o", str(peer), str(store)], check=True,
                   capture_output=True)

    def sample_files(root, pattern):
        return sorted(p for p in root.rglob(pattern) if "/Clients/" in str(p))

    checks = []
    for tool, files in (("brindlemoor", sample_files(ours, "*.msg")),
                        ("readpst", sample_files(peer, "*.msg"))):
        totals = {f: 0 for f in FIELDS}
        matched = 0
        for message in read_back(files, work, tool):
            record = truth.get(_words(str(message.get("subject", ""))))
            if record is None:
                continue
            matched += 1
            for name, ok in score(message, record).items():
                totals[name] += ok
        checks.append({"tool": tool, "messages": len(truth), "msg files": len(files),
                       "matched": matched, "fields": totals})
    shutil.rmtree(work, ignore_errors=True)
    return checks


def summary_lines(checks):
    lines = []
    for check in checks:
        n = check["messages"]
        fields = ", ".join(f"{name} {count}/{n}" for name, count in check["fields"].items())
        lines.append(f"{check['tool']}: {check['msg files']} MSG files, {check['matched']}/{n} "
                     f"matched to the store by subject; {fields}")
    return lines


def _key_lines(command):
    result = subprocess.run(command, check=True, capture_output=True, text=True)
    return [json.loads(line) for line in result.stdout.splitlines() if line.strip()]


def _msg_keys(msgcopy, files):
    records = []
    for start in range(0, len(files), 200):
        chunk = [str(f) for f in files[start:start + 200]]
        records += _key_lines([str(msgcopy), "--msg-keys"] + chunk)
    return records


def _coverage_row(tool, pairs, stored_count):
    stored = sum(len(truth) for truth, _ in pairs)
    found = sum(len(truth & keys) for truth, keys in pairs)
    whole = sum(1 for truth, keys in pairs if truth <= keys)
    missed = collections.Counter()
    for truth, keys in pairs:
        # Recipient and attachment keys are counted by property, whatever their row.
        missed.update(re.sub(r"^(recipient|attachment) \d+ ", r"\1 ", k) for k in truth - keys)
    return {"tool": tool, "messages": stored_count, "matched": len(pairs),
            "stored properties": stored, "copied": found, "whole messages": whole,
            "most missed": missed.most_common(8)}


def property_coverage(cli, msgcopy, store, work, folders):
    """Coverage rows for the converter (`cli`) and the property copy (`msgcopy`)."""
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    stored = {r["nid"]: r for r in _key_lines([str(msgcopy), "--stored-keys", str(store)])}
    by_subject = collections.defaultdict(list)
    for record in stored.values():
        by_subject[record["subject"]].append(set(record["keys"]))

    copies = work / "copy"
    copies.mkdir()
    subprocess.run([str(msgcopy), str(store), str(copies)], check=True, capture_output=True)
    copy_pairs = []
    for record in _msg_keys(msgcopy, sorted(copies.glob("*.msg"))):
        nid = int(Path(record["file"]).stem)
        copy_pairs.append((set(stored[nid]["keys"]), set(record["keys"])))
    rows = [_coverage_row("msgcopy", copy_pairs, len(stored))]

    converted = work / "cli"
    converted.mkdir()
    command = [str(cli), "convert", str(store), str(converted), "--temp", str(work)]
    for folder in folders:
        command += ["--folder", folder]
    subprocess.run(command, check=True, capture_output=True)
    cli_pairs = []
    for record in _msg_keys(msgcopy, sorted(converted.rglob("*.msg"))):
        candidates = by_subject.get(record["subject"])
        if candidates:
            cli_pairs.append((candidates[0], set(record["keys"])))
    rows.append(_coverage_row("brindlemoor-cli", cli_pairs, len(stored)))
    shutil.rmtree(work, ignore_errors=True)
    return rows


def coverage_lines(rows):
    lines = []
    for row in rows:
        share = row["copied"] / row["stored properties"] if row["stored properties"] else 0
        lines.append(f"{row['tool']}: {row['matched']} messages matched; "
                     f"{row['copied']}/{row['stored properties']} stored properties "
                     f"({share:.1%}); {row['whole messages']} messages whole")
        if row["most missed"]:
            lines.append("  most missed: " +
                         ", ".join(f"{key} x{count}" for key, count in row["most missed"]))
    return lines


def main():
    parser = argparse.ArgumentParser(description="Property coverage of MSG conversions.")
    parser.add_argument("store", type=Path)
    parser.add_argument("--build", type=Path, default=Path("build"))
    parser.add_argument("--work", type=Path, default=None)
    parser.add_argument("--folder", action="append", default=[],
                        help="folders the converter converts (default: all)")
    args = parser.parse_args()
    work = args.work or args.build / "bench-data" / "coverage"
    rows = property_coverage(args.build / "cli/brindlemoor-cli",
                             args.build / "tools/msgcopy/brindlemoor-msgcopy",
                             args.store, work, args.folder)
    print("\n".join(coverage_lines(rows)))


if __name__ == "__main__":
    main()
