#!/usr/bin/env python3
"""Writes the presentation's GL and GLU entry lists from the system GL headers.

The presentation loads every GL call through its own table. This script reads
gl.h, glext.h and glu.h and prints three include files into presentation/:

  gl_entries.inc   X-macro list: PGL_CORE(name) for GL 1.0 to 1.4 (taken from the
                   library's exports at start), PGL_EXT(name) for extension functions
                   (taken through the GetProcAddress entry once a context exists),
                   PGLU(name) for the GLU table
  gl_rename.inc    #define name pgl_sys_name for every entry, so the system prototypes
                   are declared under other names and only give the entries their types
  gl_unrename.inc  the matching #undef lines

Usage: gen_presentation_gl.py [include-dir] [output-dir]
(defaults /usr/include/GL and the presentation folder beside this script).
"""
import os
import re
import sys

inc = sys.argv[1] if len(sys.argv) > 1 else "/usr/include/GL"
out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "presentation")


# Prototypes may span lines and carry a trailing comment ("...( GLenum cap );  /* 1.1 */").
PROTO = re.compile(r"GLAPI\s+[^;]*?\b(?:GLAPIENTRY|APIENTRY)\s+(glu?\w+)\s*\(", re.S)
GUARD = re.compile(r"^#ifndef (GL_\w+)\n#define \1 1\n", re.M)


def scan(name):
    """(function, block) pairs in header order; a block is an include-guard pair."""
    with open(os.path.join(inc, name), encoding="latin-1") as f:
        text = f.read()
    marks = [(m.start(), m.group(1)) for m in GUARD.finditer(text)]
    res = []
    for m in PROTO.finditer(text):
        b = "GL_VERSION_1_1"
        for pos, g in marks:
            if pos > m.start():
                break
            b = g
        res.append((m.group(1), b))
    return res


# glext.h's blocks in header order, each with its functions.
blocks, block = [], {}
for n, b in scan("glext.h"):
    if b not in block:
        block[b] = []
        blocks.append((b, block[b]))
    block[b].append(n)
in_ext_blocks = {n for _, names in blocks for n in names}
gl_h_names = [n for n, _ in scan("gl.h")]
glu_declared = {n for n, _ in scan("glu.h")}
VENDOR = re.compile(r"[a-z0-9](3DFX|[A-Z]{2,})$")


def vendor(name):
    m = VENDOR.search(name)
    return m.group(1) if m else None


def unique(seq):
    seen, res = set(), []
    for n in seq:
        if n not in seen:
            seen.add(n)
            res.append(n)
    return res


# GL 1.0 and 1.1: gl.h's functions without a vendor suffix that no later version or
# extension block of glext.h declares, in ASCII order.
gl11 = sorted({n for n in gl_h_names if vendor(n) is None}
              - in_ext_blocks)
# GL 1.2 includes the imaging subset.
gl12 = block["GL_VERSION_1_2"] + block.get("GL_ARB_imaging", [])
core = unique(gl11 + gl12 + block["GL_VERSION_1_3"] + block["GL_VERSION_1_4"])

# Extension functions by vendor suffix, in this order; the ARB block holds only the
# extensions listed here (the shader, vertex-shader and query ones come last).
VENDORS = ["3DFX", "APPLE", "ARB", "ATI", "EXT", "HP", "IBM", "INGR", "INTEL", "MESA", "NV",
           "PGI", "SGIS", "SGIX", "SGI", "SUNX", "SUN"]
ARB_BLOCK = ["GL_ARB_matrix_palette", "GL_ARB_multisample", "GL_ARB_multitexture",
             "GL_ARB_point_parameters", "GL_ARB_texture_compression", "GL_ARB_transpose_matrix",
             "GL_ARB_vertex_blend", "GL_ARB_vertex_buffer_object", "GL_ARB_vertex_program",
             "GL_ARB_window_pos"]
LAST = ["GL_ARB_vertex_shader", "glGetVertexAttribPointervARB", "GL_ARB_shader_objects",
        "GL_ARB_occlusion_query"]

ext = []
for v in VENDORS:
    if v == "ARB":
        for b in ARB_BLOCK:
            ext += [n for n in block.get(b, []) if n != "glGetVertexAttribPointervARB"]
        continue
    prefix = "GL_%s_" % v
    for b, names in blocks:
        if b.startswith(prefix):
            ext += [n for n in names if vendor(n) == v]
for item in LAST:
    ext += block.get(item, [item] if item.startswith("gl") else [])
ext = [n for n in unique(ext) if n not in core]

GLU = ["gluLookAt", "gluOrtho2D", "gluPerspective", "gluPickMatrix", "gluProject", "gluUnProject",
       "gluErrorString", "gluScaleImage", "gluBuild1DMipmaps", "gluBuild2DMipmaps", "gluNewQuadric",
       "gluDeleteQuadric", "gluQuadricDrawStyle", "gluQuadricOrientation", "gluQuadricNormals",
       "gluQuadricTexture", "gluQuadricCallback", "gluCylinder", "gluSphere", "gluDisk",
       "gluPartialDisk", "gluNewNurbsRenderer", "gluDeleteNurbsRenderer", "gluLoadSamplingMatrices",
       "gluNurbsProperty", "gluGetNurbsProperty", "gluBeginCurve", "gluEndCurve", "gluNurbsCurve",
       "gluBeginSurface", "gluEndSurface", "gluNurbsSurface", "gluBeginTrim", "gluEndTrim",
       "gluPwlCurve", "gluNurbsCallback", "gluNewTess", "gluTessCallback", "gluDeleteTess",
       "gluBeginPolygon", "gluEndPolygon", "gluNextContour", "gluTessVertex", "gluGetString"]
missing = [n for n in GLU if n not in glu_declared]
if missing:
    sys.exit("glu.h lacks " + ", ".join(missing))

head = "// Generated by tools/gen_presentation_gl.py from the system GL headers; do not edit.\n"
with open(os.path.join(out, "gl_entries.inc"), "w") as f:
    f.write(head)
    f.write("// %d core, %d extension and %d GLU entries.\n" % (len(core), len(ext), len(GLU)))
    for n in core:
        f.write("PGL_CORE(%s)\n" % n)
    for n in ext:
        f.write("PGL_EXT(%s)\n" % n)
    for n in GLU:
        f.write("PGLU(%s)\n" % n)
with open(os.path.join(out, "gl_rename.inc"), "w") as f:
    f.write(head)
    for n in core + ext + GLU:
        f.write("#define %s pgl_sys_%s\n" % (n, n))
with open(os.path.join(out, "gl_unrename.inc"), "w") as f:
    f.write(head)
    for n in core + ext + GLU:
        f.write("#undef %s\n" % n)
print("core %d, extensions %d, glu %d" % (len(core), len(ext), len(GLU)))
