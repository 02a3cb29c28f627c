#!/usr/bin/env python3
"""Lists the entry points a GL-family header declares, with the block each one sits in.

Reads prototypes ("GLAPI <ret> APIENTRY name (params);", possibly over several lines)
and tracks the block they belong to: an include guard pair "#ifndef X / #define X 1"
(glext.h, the tail of gl.h) or a section comment " * OpenGL 1.2" / " * GL_ARB_imaging"
(the body of gl.h). Functions before any marker get --default-block. A name seen twice
(gl.h and glext.h both declare the 1.2 and 1.3 core) keeps its first block.

  glnames.py [options] HEADER...
    --blocks REGEX   keep only functions whose block matches (re.search)
    --names REGEX    keep only functions whose name matches (re.search)
    --format F       names: one name a line; blocks: "name block"; xmacro:
                     MACRO(ret, name, (params), "block") a line, for a C/C++ X-macro
    --macro NAME     macro of the xmacro format (default GL_FN)
    --default-block  block of unmarked functions (default GL_VERSION_1_1)
    --header TEXT    line(s) written first (e.g. a generated-file notice)
"""
import argparse
import re
import sys

GUARD = re.compile(r'^\s*#\s*ifndef\s+(GLU?_\w+)\s*$')
DEFINE = re.compile(r'^\s*#\s*define\s+(GLU?_\w+)\s+1\s*$')
SECTION = re.compile(r'^\s*\*\s*(?:OpenGL\s+(\d)\.(\d)|(GL_[A-Z0-9]+_\w+))\b')
PROTO = re.compile(r'^GLAPI\s+(.*?)\s*\b(?:GLAPIENTRY|APIENTRY)\s+(\w+)\s*\((.*)\)\s*;$', re.S)


def scan(path, default_block, out, seen):
    block = default_block
    pending_guard = None
    proto = None
    with open(path, encoding='latin-1') as f:
        for line in f:
            if proto is not None:
                proto += ' ' + line.strip()
                if ';' in line:
                    emit(proto, block, out, seen)
                    proto = None
                continue
            m = GUARD.match(line)
            if m:
                pending_guard = m.group(1)
                continue
            m = DEFINE.match(line)
            if m and m.group(1) == pending_guard:
                block = pending_guard
                pending_guard = None
                continue
            pending_guard = None
            m = SECTION.match(line)
            if m:
                block = 'GL_VERSION_%s_%s' % (m.group(1), m.group(2)) if m.group(1) else m.group(3)
                continue
            if line.startswith('GLAPI '):
                proto = line.strip()
                if ';' in line:
                    emit(proto, block, out, seen)
                    proto = None


def emit(text, block, out, seen):
    # Prototypes may carry a trailing comment ("glEnableClientState( GLenum cap );  /* 1.1 */").
    text = re.sub(r'/\*.*?\*/', ' ', text, flags=re.S)
    m = PROTO.match(' '.join(text.split()))
    if not m:
        return
    ret, name, params = m.group(1), m.group(2), m.group(3).strip()
    if name in seen:
        return
    seen.add(name)
    # Pointer results ("const GLubyte *") keep their star on the type side.
    out.append((' '.join(ret.split()), name, params or 'void', block))


def main():
    ap = argparse.ArgumentParser(description='List GL entry points of headers.')
    ap.add_argument('headers', nargs='+')
    ap.add_argument('--blocks')
    ap.add_argument('--names')
    ap.add_argument('--format', choices=('names', 'blocks', 'xmacro'), default='names')
    ap.add_argument('--macro', default='GL_FN')
    ap.add_argument('--default-block', default='GL_VERSION_1_1')
    ap.add_argument('--header', action='append', default=[])
    a = ap.parse_args()

    found, seen = [], set()
    for h in a.headers:
        scan(h, a.default_block, found, seen)
    blocks = re.compile(a.blocks) if a.blocks else None
    names = re.compile(a.names) if a.names else None
    w = sys.stdout.write
    for line in a.header:
        w(line + '\n')
    for ret, name, params, block in found:
        if blocks and not blocks.search(block):
            continue
        if names and not names.search(name):
            continue
        if a.format == 'names':
            w(name + '\n')
        elif a.format == 'blocks':
            w('%s %s\n' % (name, block))
        else:
            w('%s(%s, %s, (%s), "%s")\n' % (a.macro, ret, name, params, block))


if __name__ == '__main__':
    main()
