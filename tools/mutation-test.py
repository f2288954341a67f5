#!/usr/bin/env python3
"""Mutation testing of src/: how many small faults do the ordinary tests catch?

Draws a reproducible sample of one-token mutations across src/ (flipped
comparisons, integer constants off by one, negated conditions, deleted
statements), applies them one at a time, rebuilds the test program
incrementally in its own build directory, runs the tests (the GoogleTest
program, then the call-sequence property run of the fuzz replay) with a
timeout and reports caught / survived / not compiling per folder of src/.

    tools/mutation-test.py --seed 1 --count 100
    tools/mutation-test.py --seed 1 --count 100 --list        # the sample only
    tools/mutation-test.py --seed 1 --count 100 --only 17,42  # rerun two of it

The source is always restored: after each mutant, on Ctrl-C, and at the next
start if a run was killed (a copy of the changed file waits in the build
directory). The build directory is configured on first use; --fast runs a
subset of the tests that leaves out the slowest (see FAST_FILTER).
"""
import argparse
import collections
import json
import os
import random
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Tests left out by --fast: those that run the command-line program (it
# sits above the library and repeats its checks) and the threads test. A
# survivor of a --fast run is worth a rerun without it (--only).
FAST_FILTER = '-CodecTest.*:ConvertTest.*:InfoTreeTest.*:JsonTest.*:UsageTest.*:SessionThreads.*'

COMPARISONS = {' < ': ' >= ', ' >= ': ' < ', ' > ': ' <= ', ' <= ': ' > ',
               ' == ': ' != ', ' != ': ' == '}
# A statement that does something by itself: a call, an assignment or a step
# of a counter (declarations start with a type and a name, so do not match).
STATEMENT = re.compile(r'^\s*[\w.\->\[\]*:]+\s*(\(.*\)|[-+*/|&^]?=[^=].*|<<=.*|>>=.*|\+\+|--)'
                       r'\s*;\s*$')
NOT_STATEMENT = re.compile(r'^\s*(return|case|default|using|typedef|static_assert|goto|throw)\b')
CONDITION = re.compile(r'\b(if|while) \(')
INTEGER = re.compile(r'(?<![\w.])(\d+)(?![\w.\'])')


def code_part(line):
    """The line without a trailing // comment; None for lines to leave alone."""
    stripped = line.strip()
    if not stripped or stripped.startswith(('//', '*', '/*', '#')):
        return None
    if '"' in line:  # string literals: leave the line alone
        return None
    at = line.find('//')
    return line if at < 0 else line[:at]


def matching_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == '(':
            depth += 1
        elif text[i] == ')':
            depth -= 1
            if depth == 0:
                return i
    return -1


def mutations_of_line(line):
    """(kind, mutated line) for every mutation this line offers."""
    code = code_part(line)
    if code is None:
        return []
    out = []
    for old, new in COMPARISONS.items():
        for m in re.finditer(re.escape(old), code):
            out.append(('comparison', line[:m.start()] + new + line[m.end():]))
    # Rows of tables (three numbers or more) would outnumber everything else.
    numbers = list(INTEGER.finditer(code))
    if len(numbers) < 3 and 'template' not in code and '[' not in code:
        for m in numbers:
            value = int(m.group(1))
            for changed in (value + 1, value - 1):
                if changed >= 0:
                    out.append(('constant', line[:m.start()] + str(changed) + line[m.end():]))
    for m in CONDITION.finditer(code):
        start = m.end() - 1
        end = matching_paren(code, start)
        if end > start:
            out.append(('negation', line[:start + 1] + '!(' + line[start + 1:end] + ')' +
                        line[end:]))
    if STATEMENT.match(code) and not NOT_STATEMENT.match(code):
        indent = line[:len(line) - len(line.lstrip())]
        out.append(('deletion', indent + ';  // mutant: statement deleted\n'))
    return out


def candidates():
    """Every mutation of src/, in a fixed order: (path, line number, kind, new line)."""
    found = []
    for folder, dirs, files in os.walk(os.path.join(ROOT, 'src')):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith(('.cc', '.h')):
                continue
            path = os.path.relpath(os.path.join(folder, name), ROOT)
            with open(os.path.join(ROOT, path), encoding='utf-8') as f:
                lines = f.readlines()
            for number, line in enumerate(lines, 1):
                for kind, new in mutations_of_line(line):
                    found.append((path, number, kind, new))
    return found


def folder_of(path):
    parts = path.split('/')[1:-1]
    return '/'.join(parts) or '.'


class Restorer:
    """Keeps the original of the one file being changed, and a copy on disk."""

    def __init__(self, build_dir):
        self.pending = os.path.join(build_dir, 'mutation-original.json')
        self.path = None
        self.text = None

    def recover(self):
        if os.path.exists(self.pending):
            with open(self.pending, encoding='utf-8') as f:
                saved = json.load(f)
            with open(os.path.join(ROOT, saved['path']), 'w', encoding='utf-8') as f:
                f.write(saved['text'])
            os.remove(self.pending)
            print(f"restored {saved['path']} left changed by an earlier run")

    def change(self, path, text, new_text):
        with open(self.pending, 'w', encoding='utf-8') as f:
            json.dump({'path': path, 'text': text}, f)
        self.path, self.text = path, text
        with open(os.path.join(ROOT, path), 'w', encoding='utf-8') as f:
            f.write(new_text)

    def restore(self):
        if self.path is None:
            return
        with open(os.path.join(ROOT, self.path), 'w', encoding='utf-8') as f:
            f.write(self.text)
        self.path = self.text = None
        os.remove(self.pending)


def run(command, timeout, env=None):
    """(exit code or 'timeout', output tail); kills the whole process group."""
    process = subprocess.Popen(command, cwd=ROOT, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, env=env, start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output.decode(errors='replace')[-2000:]
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return 'timeout', ''
    except BaseException:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise


def interrupt(*_):
    raise KeyboardInterrupt()


def configure(build_dir):
    if os.path.exists(os.path.join(build_dir, 'build.ninja')):
        return
    # No optimisation beyond -O1 and no debug information: the build links
    # once per mutant.
    subprocess.run(['cmake', '-S', ROOT, '-B', build_dir, '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=',
                    '-DCMAKE_CXX_FLAGS=-O1', '-DCMAKE_C_FLAGS=-O1', '-DKESTRON4_BUILD_EXAMPLES=OFF',
                    '-DKESTRON4_BUILD_TOOLS=OFF', '-DCMAKE_CXX_COMPILER_LAUNCHER=ccache',
                    '-DCMAKE_C_COMPILER_LAUNCHER=ccache'], check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--count', type=int, default=100)
    parser.add_argument('--build-dir', default=os.path.join(ROOT, 'build-mutation'))
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('--timeout', type=int, default=300, help='seconds per test run')
    parser.add_argument('--fast', action='store_true', help='leave out the slowest tests')
    parser.add_argument('--list', action='store_true', help='print the sample and stop')
    parser.add_argument('--only', help='comma-separated sample numbers to run')
    parser.add_argument('--json', help='write the results to this file')
    args = parser.parse_args()

    everything = candidates()
    sample = random.Random(args.seed).sample(everything, min(args.count, len(everything)))
    chosen = range(1, len(sample) + 1)
    if args.only:
        chosen = [int(n) for n in args.only.split(',')]
    if args.list:
        for n in chosen:
            path, line, kind, new = sample[n - 1]
            print(f'{n:4} {path}:{line} {kind}: {new.strip()}')
        return 0

    build_dir = os.path.abspath(args.build_dir)
    os.makedirs(build_dir, exist_ok=True)
    restorer = Restorer(build_dir)
    restorer.recover()
    configure(build_dir)
    build = ['cmake', '--build', build_dir, '-j', str(args.jobs), '--target', 'kestron4_tests',
             'session_sequence_fuzz_replay']
    if run(build, None)[0] != 0:
        print('the unmutated tree does not build', file=sys.stderr)
        return 1
    tests = [os.path.join(build_dir, 'tests', 'kestron4_tests'), '--gtest_brief=1']
    if args.fast:
        tests.append('--gtest_filter=' + FAST_FILTER)
    # The call-sequence property run: its corpus and random sequences.
    sequences = [os.path.join(build_dir, 'fuzz', 'session_sequence_fuzz_replay'),
                 os.path.join(ROOT, 'fuzz', 'corpus', 'session_sequence'), '--random', '400']
    env = dict(os.environ, GCOV_PREFIX=os.path.join(build_dir, 'gcov-discard'))
    signal.signal(signal.SIGTERM, interrupt)

    results = []
    try:
        for n in chosen:
            path, line, kind, new = sample[n - 1]
            with open(os.path.join(ROOT, path), encoding='utf-8') as f:
                text = f.read()
            lines = text.splitlines(keepends=True)
            lines[line - 1] = new
            restorer.change(path, text, ''.join(lines))
            started = time.time()
            try:
                code, _ = run(build, None)
                if code != 0:
                    outcome = 'not compiling'
                else:
                    code, output = run(tests, args.timeout, env)
                    failed = re.findall(r'\[  FAILED  \] (\S+)', output)
                    if code == 0:
                        code, output = run(sequences, args.timeout, env)
                        failed = ['call sequences'] if code != 0 else []
                    outcome = 'survived' if code == 0 else 'caught'
            finally:
                restorer.restore()
            detail = '' if outcome != 'caught' else (
                'timeout' if code == 'timeout' else ', '.join(sorted(set(failed))[:3]) or
                f'exit {code}')
            results.append({'n': n, 'path': path, 'line': line, 'kind': kind,
                            'mutant': new.strip(), 'outcome': outcome, 'detail': detail})
            print(f'{n:4} {outcome:13} {time.time() - started:5.0f}s {path}:{line} {kind}: '
                  f'{new.strip()[:80]}  {detail}', flush=True)
    except KeyboardInterrupt:
        print('interrupted; source restored', file=sys.stderr)
    finally:
        restorer.restore()
        run(build, None)  # leave the build directory matching the source

    table = collections.defaultdict(collections.Counter)
    for r in results:
        table[folder_of(r['path'])][r['outcome']] += 1
        table['(all)'][r['outcome']] += 1
    print(f"\n{'folder':20} {'caught':>7} {'survived':>9} {'not compiling':>14} {'caught %':>9}")
    for folder in sorted(table):
        c = table[folder]
        compiled = c['caught'] + c['survived']
        rate = f"{100.0 * c['caught'] / compiled:.0f}" if compiled else '-'
        print(f"{folder:20} {c['caught']:7} {c['survived']:9} {c['not compiling']:14} {rate:>9}")
    if args.json:
        with open(args.json, 'w', encoding='utf-8') as f:
            json.dump(results, f, indent=1)
    return 0


if __name__ == '__main__':
    sys.exit(main())
