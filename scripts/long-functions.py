#!/usr/bin/env python3
# Lists functions whose bodies are longer than N lines (default 100) in the
# libraries, the window and the CLI. A rough brace count over each .cpp file
# (strings and line comments removed), good enough to find the long ones.
import os
import re
import sys

limit = int(sys.argv[1]) if len(sys.argv) > 1 else 100
dirs = sys.argv[2:] or ['common', 'soundfile', 'take', 'insertion', 'analysis', 'browser', 'app', 'tools']
scopes = re.compile(r'^(namespace|extern|struct|class|enum)\b')

for folder in dirs:
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            if not name.endswith('.cpp'):
                continue
            path = os.path.join(root, name)
            lines = open(path, encoding='utf-8', errors='replace').read().split('\n')
            depth, start, header, startDepth = 0, None, '', 0
            for i, line in enumerate(lines):
                code = re.sub(r'"(\\.|[^"\\])*"', '""', line)
                code = re.sub(r"'(\\.|[^'\\])*'", "''", code).split('//')[0]
                before = depth
                depth += code.count('{') - code.count('}')
                if start is None and '{' in code:
                    j = i
                    while j > 0 and lines[j].strip() in ('{', ''):
                        j -= 1
                    text = lines[j].strip()
                    if not scopes.match(text):
                        start, header, startDepth = i, text, before
                if start is not None and depth <= startDepth:
                    if i - start + 1 > limit:
                        print(f"{i - start + 1:5d} {path}:{start + 1} {header[:90]}")
                    start = None
