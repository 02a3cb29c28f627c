// Spare routines of the main program: light set-ups, interpolation and easing
// curves, a shaded cube, a number-per-line reader, a vertex centring pass, a matrix
// reset, and a mesh loader and drawer on ARB vertex buffer objects.
//
// The running show calls none of them. Curves are evaluated in double and rounded to
// single once, where the result is stored. The mesh loader treats its three files as
// untrusted: sizes are bounded, the normals must cover every vertex and every face
// index must name a vertex, or the load is refused with a log line and an empty mesh.
// Depends on: GL unit (every GL call), vectors, bindings (log, tracked memory), the
// main program's loading step, base/file.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/file.h"
#include "presentation/scene_view.h"
#include "presentation/vectors.h"

// The record MeshLoad fills and MeshDraw reads.
struct MeshBuffers {
  uint32_t *faces;   // name + ".face": three vertex indices per triangle
  float *vertices;   // name + ".vertex": three coordinates per vertex
  float *normals;    // name + ".vertexnormal": three components per vertex
  int32_t faceCount;    // face file size div 12
  int32_t vertexCount;  // vertex file size div 12
  void *spare;          // vertexCount x 4 bytes, allocated and never used
  uint32_t indexBuffer;
  uint32_t normalBuffer;
  uint32_t vertexBuffer;
};

// Largest mesh file MeshLoad reads (bytes).
constexpr int32_t kMeshFileLimit = 1 << 28;

// GL_LIGHT0 ambient (a, a, a, 1), diffuse (d, d, d, 1), specular (0, 0, 0, 1).
void SetLight0(float ambient, float diffuse);
// SetLight0, then a positional light at (x, y, z).
void SetLight0At(float x, float y, float z, float ambient, float diffuse);
// Only the ambient and diffuse colours of SetLight0.
void SetLight0Colours(float ambient, float diffuse);

// a to b at f (clamped to 0..1): mode 0 linear, 1 sine ease-out, 2 sine ease-in.
// Any other mode gives a.
float Interpolate(uint8_t mode, float a, float b, float f);
// Linear Interpolate per component; out may be a or b.
void InterpolateVector(const TVector *a, const TVector *b, TVector *out, float f);
// length (t / length)^n; 0 when length is 0.
float EaseIn8(float t, float length);
float EaseIn3(float t, float length);
float EaseIn2(float t, float length);
// (e^x - 1) / (e - 1): 0 at 0, 1 at 1.
float ExpCurve(float x);

// A cube of half-size 1 at the origin in one GL_QUADS batch, normals but no texture
// coordinates; the +z face in grey front, the other five in grey rest.
void DrawShadedCube(float front, float rest);

// Reads the next line of file as a decimal number into *value. Returns 0, or -1 with a
// log line and *value untouched at the end of the file or when the line is not a
// number that fits a single.
int32_t ReadFloatLine(SYS_File_p file, float *value);

float VectorDistance(const TVector *a, const TVector *b);
// Moves the count vertices so that their bounding box is centred on the origin.
void CenterVertices(TVector *vertices, int32_t count);
// ResetMatrices, the matrix reset, lives with the scenes' other view helpers.

// The loading step MeshLoad runs after each file it reads (the main program's
// LoadingStep unless replaced).
extern void (*MeshLoadingStep)(void);

// Reads name + ".face", ".vertex", ".vertexnormal" and uploads them into three buffer
// objects, which stay bound. *mesh is overwritten (release a loaded one with MeshFree
// first). Returns 0, or -1 with a log line, the last error set and *mesh all zero.
int32_t MeshLoad(MeshBuffers *mesh, std::string_view name);
// Draws the loaded mesh's triangles from its buffer objects; a mesh that never
// loaded draws nothing.
void MeshDraw(const MeshBuffers *mesh);
// Deletes the buffer objects, frees the blocks and zeroes *mesh.
void MeshFree(MeshBuffers *mesh);
