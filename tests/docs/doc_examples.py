#!/usr/bin/env python3
"""Runs every C++ and JSON example of README.md and docs/ so that none can rot.

C++ blocks are compiled as programs against the library (through its CMake package
in the build tree) and run, each in a folder of its own; a PDF one writes must pass
`qpdf --check`. JSON blocks are layouts: `mivora check` must accept them and
`mivora print` must print them. A block may be marked in the Markdown by an HTML
comment on the line before it:

    <!-- fragment: why -->          a deliberate fragment: not run, but counted
    <!-- folder: examples/labels --> the layout runs beside the files of that folder

Without a folder, a layout runs beside a copy of the test pictures (tests/data).

    doc_examples.py --source DIR --build DIR --mivora PROGRAM --work DIR
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys

CXX_LANGUAGES = {"cpp", "c++", "cxx"}
FENCE = re.compile(r"^(\s*)(`{3,}|~{3,})\s*([\w+-]*)")
MARK = re.compile(r"^\s*<!--\s*(fragment|folder)\s*:?\s*(.*?)\s*-->\s*$")


class Example:
    def __init__(self, path, line, language, text, mark, argument):
        self.path, self.line, self.language, self.text = path, line, language, text
        self.fragment = mark == "fragment"
        self.folder = argument if mark == "folder" else None
        self.reason = argument if mark == "fragment" else None

    @property
    def where(self):
        return f"{self.path}:{self.line}"

    @property
    def slug(self):
        return re.sub(r"\W+", "_", f"{self.path.stem}_{self.line}")


def documents(source):
    found = [source / "README.md"] + sorted((source / "docs").rglob("*.md"))
    return [p for p in found if p.is_file()]


def examples_in(path, source):
    """The fenced C++ and JSON blocks of one Markdown file."""
    lines = path.read_text(encoding="utf-8").splitlines()
    found, i = [], 0
    while i < len(lines):
        match = FENCE.match(lines[i])
        if not match:
            i += 1
            continue
        fence, language = match.group(2), match.group(3).lower()
        start = i
        i += 1
        body = []
        while i < len(lines) and not lines[i].strip().startswith(fence):
            body.append(lines[i])
            i += 1
        i += 1
        if language not in CXX_LANGUAGES and language != "json":
            continue
        # The nearest non-blank line above the fence may mark the block.
        above = start - 1
        while above >= 0 and not lines[above].strip():
            above -= 1
        mark = MARK.match(lines[above]) if above >= 0 else None
        found.append(Example(path.relative_to(source), start + 1, "cpp" if language in CXX_LANGUAGES else "json",
                             "\n".join(body) + "\n", mark.group(1) if mark else None,
                             mark.group(2) if mark else None))
    return found


class Run:
    def __init__(self, args):
        self.args = args
        self.failures = []

    def fail(self, example, message):
        self.failures.append(f"{example.where}: {message}")

    def run(self, command, cwd, **kwargs):
        return subprocess.run(command, cwd=cwd, capture_output=True, text=True, check=False, **kwargs)

    def check_pdfs(self, example, folder):
        for pdf in sorted(pathlib.Path(folder).glob("*.pdf")):
            result = self.run(["qpdf", "--check", str(pdf)], folder)
            if result.returncode != 0:
                self.fail(example, f"{pdf.name} fails qpdf --check: {result.stdout[-300:]}")

    def build_cpp(self, examples, work):
        """Builds every C++ example as one CMake project; returns the folder of the programs."""
        project = work / "cpp"
        shutil.rmtree(project, ignore_errors=True)
        project.mkdir(parents=True)
        listing = ["cmake_minimum_required(VERSION 3.20)", "project(doc_examples CXX)",
                   "set(CMAKE_CXX_STANDARD 20)", "find_package(Mivora REQUIRED)"]
        for example in examples:
            (project / f"{example.slug}.cpp").write_text(example.text, encoding="utf-8")
            listing.append(f"add_executable({example.slug} {example.slug}.cpp)")
            listing.append(f"target_link_libraries({example.slug} PRIVATE Mivora::Mivora)")
        (project / "CMakeLists.txt").write_text("\n".join(listing) + "\n", encoding="utf-8")
        configure = [self.args.cmake, "-S", str(project), "-B", str(project / "build"), "-G", "Unix Makefiles",
                     f"-DMivora_DIR={self.args.build}", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"]
        if self.args.cxx:
            configure.append(f"-DCMAKE_CXX_COMPILER={self.args.cxx}")
        result = self.run(configure, project)
        if result.returncode != 0:
            self.failures.append(f"the examples' CMake project does not configure:\n{result.stdout}{result.stderr}")
            return None
        # Keep going past a program that does not compile, to name every one that fails.
        build = self.run([self.args.cmake, "--build", str(project / "build"), "-j", "2", "--", "-k"], project)
        for example in examples:
            if not (project / "build" / example.slug).exists():
                errors = [l for l in (build.stdout + build.stderr).splitlines() if f"{example.slug}.cpp" in l]
                self.fail(example, "does not compile:\n  " + "\n  ".join(errors[:12]))
        return project / "build"

    def run_cpp(self, example, programs, work):
        folder = work / example.slug
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        environment = dict(os.environ)
        environment.pop("MIVORA_PRINTER", None)
        result = self.run([str(programs / example.slug)], folder, env=environment, timeout=120)
        if result.returncode != 0:
            self.fail(example, f"exits with {result.returncode}: {result.stderr.strip()[-500:]}")
            return folder
        self.check_pdfs(example, folder)
        return folder

    def run_json(self, example, work):
        try:
            json.loads(example.text)
        except json.JSONDecodeError as error:
            self.fail(example, f"is not JSON: {error}")
            return
        folder = work / example.slug
        shutil.rmtree(folder, ignore_errors=True)
        origin = self.args.source / (example.folder or "tests/data")
        if not origin.is_dir():
            self.fail(example, f"names the folder {example.folder}, which does not exist")
            return
        shutil.copytree(origin, folder)
        layout = folder / f"{example.slug}.json"
        layout.write_text(example.text, encoding="utf-8")
        check = self.run([self.args.mivora, "check", layout.name], folder)
        if check.returncode != 0:
            self.fail(example, f"mivora check exits with {check.returncode}: {check.stderr.strip()}")
            return
        printed = self.run([self.args.mivora, "print", layout.name, "-o", "example.pdf", "-q"], folder)
        if printed.returncode != 0 or not (folder / "example.pdf").is_file():
            self.fail(example, f"mivora print exits with {printed.returncode}: {printed.stderr.strip()}")
            return
        self.check_pdfs(example, folder)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", type=pathlib.Path, required=True)
    parser.add_argument("--build", type=pathlib.Path, required=True, help="folder holding MivoraConfig.cmake")
    parser.add_argument("--mivora", required=True)
    parser.add_argument("--work", type=pathlib.Path, required=True)
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cxx", default="")
    args = parser.parse_args()
    args.source = args.source.resolve()
    args.work = args.work.resolve()
    args.work.mkdir(parents=True, exist_ok=True)

    found = [e for path in documents(args.source) for e in examples_in(path, args.source)]
    runnable = [e for e in found if not e.fragment]
    run = Run(args)
    cpp = [e for e in runnable if e.language == "cpp"]
    programs = run.build_cpp(cpp, args.work) if cpp else None
    for example in cpp:
        if programs is not None and (programs / example.slug).exists():
            folder = run.run_cpp(example, programs, args.work)
            if example is cpp[0] and example.path.name == "README.md":
                # The README's first program tells its reader the page goes to ./mivora.pdf.
                if not (folder / "mivora.pdf").is_file():
                    run.fail(example, "wrote no mivora.pdf in its folder")
    for example in runnable:
        if example.language == "json":
            run.run_json(example, args.work)

    for example in found:
        if example.fragment:
            print(f"{example.where}: {example.language} fragment, not run ({example.reason or 'no reason given'})")
    counts = {language: sum(1 for e in runnable if e.language == language) for language in ("cpp", "json")}
    print(f"{counts['cpp']} C++ and {counts['json']} JSON examples run from {len(documents(args.source))} documents")
    if run.failures:
        print("\n".join("FAIL: " + f for f in run.failures), file=sys.stderr)
        return 1
    if not runnable:
        print("FAIL: no examples found", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
