#!/usr/bin/python3
"""Fails when a winget manifest would not pass the package manager's schema.

    scripts/check-manifest.py [--files DIR --url BASE] MANIFEST_DIR

MANIFEST_DIR holds one version of a multi-file manifest (version 1.10.0) in the community
repository's layout, for example manifests/d/Dorvane/Dorvane/1.0.0.0. Each file is read
as the package manager reads it and checked against its schema (scripts/winget-schema-1.10.0,
chosen by the file's ManifestType); then the files are checked against each other: one
version, one installer and one default locale file, all of one package and version, named
and placed as the repository names and places them.

With --files and --url (the release's files in DIR, as they will be served from BASE):
each installer's URL must be BASE followed by the name of a file in DIR, that file's
SHA-256 must be the installer's InstallerSha256, and its PE machine the installer's
Architecture.

Every problem is printed as FILE: FIELD: REASON (the schema's own message where the schema
found it); the exit status is 1 when there is any.
"""
import argparse
import hashlib
import json
import os
import struct
import sys

import jsonschema
import yaml

SCHEMA_VERSION = "1.10.0"
SCHEMA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), f"winget-schema-{SCHEMA_VERSION}")
MANIFEST_TYPES = ("version", "installer", "defaultLocale", "locale")
HEADER = "# yaml-language-server: $schema="
# The PE header's machine field for each installer architecture.
PE_MACHINES = {"x64": 0x8664, "x86": 0x14C, "arm64": 0xAA64, "arm": 0x1C4}


class WingetLoader(yaml.SafeLoader):
    """YAML read as the package manager reads a manifest: a scalar is the text written, so
    that 2026-12-08, 1.10 or yes stay strings. A plain YAML loader makes them a date, a
    number and a boolean, which the schema's string types then refuse. An empty value
    stays null. (The package manager turns a few fields of the schema's integer and
    boolean types into numbers, return codes among them; this reader leaves them text,
    and Dorvane's manifest uses none.)"""


_TYPED_SCALARS = {f"tag:yaml.org,2002:{t}" for t in ("bool", "int", "float", "timestamp")}
WingetLoader.yaml_implicit_resolvers = {
    first: [(tag, regexp) for tag, regexp in resolvers if tag not in _TYPED_SCALARS]
    for first, resolvers in yaml.SafeLoader.yaml_implicit_resolvers.items()
}


def field_path(path):
    """A field's path as the manifest spells it: Installers[0].InstallerType."""
    text = ""
    for part in path:
        text += f"[{part}]" if isinstance(part, int) else (f".{part}" if text else str(part))
    return text or "(the file)"


def load_schemas():
    schemas = {}
    for kind in MANIFEST_TYPES:
        with open(os.path.join(SCHEMA_DIR, f"manifest.{kind}.{SCHEMA_VERSION}.json"), encoding="utf-8") as f:
            schemas[kind] = json.load(f)
    return schemas


def check_file(path, schemas, problems):
    """Checks one file against its schema; returns its fields, or None when unreadable."""
    name = os.path.basename(path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    try:
        doc = yaml.load(text, Loader=WingetLoader)
    except yaml.YAMLError as e:
        problems.append(f"{name}: not YAML: {' '.join(str(e).split())}")
        return None
    if not isinstance(doc, dict):
        problems.append(f"{name}: (the file): not a mapping of fields")
        return None
    kind, version = doc.get("ManifestType"), doc.get("ManifestVersion")
    if kind not in schemas or version != SCHEMA_VERSION:
        problems.append(f"{name}: ManifestType, ManifestVersion: {kind!r}, {version!r} is not one of "
                        f"the schemas here ({', '.join(MANIFEST_TYPES)}; {SCHEMA_VERSION})")
        return None
    schema = schemas[kind]
    validator = jsonschema.Draft7Validator(schema, format_checker=jsonschema.Draft7Validator.FORMAT_CHECKER)
    for error in sorted(validator.iter_errors(doc), key=lambda e: [str(p) for p in e.absolute_path]):
        problems.append(f"{name}: {field_path(error.absolute_path)}: {error.message}")
    # An editor's schema line, as the package manager's own tools write it, must name this
    # file's schema: the package manager checks it when it is there.
    first = text.splitlines()[0] if text else ""
    if first.startswith(HEADER) and first[len(HEADER):].strip() != schema["$id"]:
        problems.append(f"{name}: (the schema line): names {first[len(HEADER):].strip()}, "
                        f"not {schema['$id']} (ManifestType {kind})")
    return doc


def check_set(manifest_dir, docs, problems):
    """The files against each other, their names and their folder."""
    by_kind = {kind: [(n, d) for n, d in docs.items() if d["ManifestType"] == kind] for kind in MANIFEST_TYPES}
    for kind in ("version", "installer", "defaultLocale"):
        if len(by_kind[kind]) != 1:
            problems.append(f"{manifest_dir}: {len(by_kind[kind])} files of ManifestType {kind}, not 1")
    ids = {(d.get("PackageIdentifier"), d.get("PackageVersion")) for d in docs.values()}
    if len(ids) != 1:
        problems.append(f"{manifest_dir}: PackageIdentifier, PackageVersion: the files differ: "
                        + ", ".join(sorted(f"{p} {v}" for p, v in ids)))
    if problems:
        return
    package, version = ids.pop()
    (version_name, version_doc), default = by_kind["version"][0], by_kind["defaultLocale"][0][1]["PackageLocale"]
    if version_doc["DefaultLocale"] != default:
        problems.append(f"{version_name}: DefaultLocale: {version_doc['DefaultLocale']} is not the default locale "
                        f"file's PackageLocale {default}")
    for name, doc in docs.items():
        kind = doc["ManifestType"]
        expected = {"version": f"{package}.yaml", "installer": f"{package}.installer.yaml"}.get(kind)
        expected = expected or f"{package}.locale.{doc['PackageLocale']}.yaml"
        if name != expected:
            problems.append(f"{name}: (the file's name): a {kind} file of {package} is named {expected}")
    folder = os.path.join(package[0].lower(), *package.split("."), version)
    if not os.path.abspath(manifest_dir).endswith(os.sep + folder):
        problems.append(f"{manifest_dir}: (the folder): the repository keeps {package} {version} in .../{folder}")


def check_installers(installer_name, installer, files, base, problems):
    """Each installer's URL, hash and architecture against the file it will be served as."""
    base = base.rstrip("/") + "/"
    for i, entry in enumerate(installer.get("Installers") or []):
        where = f"{installer_name}: Installers[{i}]"
        url = str(entry.get("InstallerUrl"))
        file_name = url[len(base):] if url.startswith(base) else ""
        path = os.path.join(files, file_name)
        if not file_name or "/" in file_name or not os.path.isfile(path):
            problems.append(f"{where}.InstallerUrl: {url} is not {base} followed by the name of a file in {files}")
            continue
        with open(path, "rb") as f:
            data = f.read()
        digest = hashlib.sha256(data).hexdigest()
        if str(entry.get("InstallerSha256")).lower() != digest:
            problems.append(f"{where}.InstallerSha256: {entry.get('InstallerSha256')} is not the SHA-256 of "
                            f"{path} ({digest.upper()})")
        pe = struct.unpack_from("<I", data, 0x3C)[0] if len(data) >= 0x40 else 0
        machine = struct.unpack_from("<H", data, pe + 4)[0] if data[pe:pe + 4] == b"PE\0\0" else None
        if machine != PE_MACHINES.get(entry.get("Architecture")):
            problems.append(f"{where}.Architecture: {entry.get('Architecture')} is not the architecture of "
                            f"{path} (PE machine {machine if machine is None else hex(machine)})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("manifest_dir")
    parser.add_argument("--files", help="the folder of the files the installers' URLs name")
    parser.add_argument("--url", help="the address the files in --files will be served from")
    args = parser.parse_args()
    if (args.files is None) != (args.url is None):
        parser.error("--files and --url go together")
    names = sorted(n for n in os.listdir(args.manifest_dir) if n.endswith(".yaml"))
    if not names:
        print(f"check-manifest: {args.manifest_dir}: no .yaml files", file=sys.stderr)
        return 1
    schemas, problems, docs = load_schemas(), [], {}
    for name in names:
        doc = check_file(os.path.join(args.manifest_dir, name), schemas, problems)
        if doc is not None:
            docs[name] = doc
    if not problems:
        check_set(args.manifest_dir, docs, problems)
    if not problems and args.files is not None:
        installer_name = next(n for n, d in docs.items() if d["ManifestType"] == "installer")
        check_installers(installer_name, docs[installer_name], args.files, args.url, problems)
    for problem in problems:
        print(f"check-manifest: {problem}", file=sys.stderr)
    if problems:
        return 1
    served = f"; each installer is the file of its hash and architecture in {args.files}" if args.files else ""
    print(f"check-manifest: {args.manifest_dir}: {len(names)} files pass the winget manifest schema "
          f"{SCHEMA_VERSION}{served}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
