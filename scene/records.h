// Scene records of the 3D engine.
//
// One fixed-layout record, _QLV_SCENE, holds a whole scene: materials, objects with
// their geometry and keys, eight lights, camera tracks, the particle pool and the
// shadow-volume work arrays. The scene file reader fills the fields chunk by chunk,
// preparation adds the derived arrays and buffer objects, the texture loader fills
// the texture ids, and the renderer, key interpolation, particles and shadow volumes
// read and update them.
//
// In the scene file every field travels as its raw little-endian image; the element
// sizes there (name = 256 bytes: a length byte and 255 characters) are the file's and
// are checked by the reader. In memory a name is the show's 255-character string and
// a boolean is a C++ bool (the reader stores only 0 and 1). Array fields point at
// blocks that hold exactly the counted number of entries; the *_ARRAY capacities
// below are the bounds the reader enforces on those counts.
// Depends on: presentation/pstring.h.
#pragma once

#include <cstdint>

#include "presentation/pstring.h"

// A name field: length-prefixed, at most 255 characters.
typedef ShortString _QLV_NAME;

struct _QLV_RGB {
  float r, g, b;
};

struct _QLV_RGBA {
  float r, g, b, a;
};

// Given to GL as fog density, start and end.
struct _QLV_FOGPARAM {
  float density, start, end;
};

// 16 values, outer index first.
struct _QLV_MATRIX {
  float m[4][4];
};

struct _QLV_VECTOR {
  float x, y, z;
};

struct _QLV_KEYVECTOR {
  int32_t frame;
  float x, y, z;
};

// Rotation key; the four components are carried, never interpreted.
struct _QLV_KEYQUAT {
  int32_t frame;
  float q0, q1, q2, q3;
};

struct _QLV_TEXTCOORD {
  float u, v;
};

// Vertex indices of a triangle; in `neighbours` the face index across each edge.
struct _QLV_FACE {
  int32_t a, b, c;
};

struct _QLV_PLANE {
  float a, b, c, d;
};

// One particle of a scene's pool.
struct _QLV_PARTICLE {
  bool free;
  _QLV_VECTOR position;
  _QLV_RGB color;
  _QLV_VECTOR delta;
  uint8_t colorattrib;
  float power;
  float deltapower;
  int32_t emitter;
};

// Particle emitter settings of an object (chunks 59-69).
struct _QLV_PARTICLEDATA {
  bool particleenabled;            // 64
  _QLV_VECTOR deltavector;         // 66
  _QLV_VECTOR deltavectorspread;   // 67
  _QLV_RGB color;                  // 68
  _QLV_RGB colorspread;            // 69, carried only
  uint8_t colorattrib;             // 65
  float power;                     // 61
  float deltapower;                // 62
  int32_t newparticle;             // 60
  _QLV_NAME particletexture;       // 59
  int32_t texture;                 // GL id of particletexture
  float size;                      // 63
};

struct _QLV_MATERIAL {
  _QLV_NAME name;          // 12
  _QLV_NAME texturename;   // 13, relative to the scene's texture directory
  float transparency;      // 15
  int32_t texture;         // GL id of texturename
  float utile;             // 16
  float vtile;             // 17
  uint8_t bitdepth;        // 29; 24 after loading, then the texture's
  bool textured;           // 25
  _QLV_RGB ambient;        // 30
  _QLV_RGB diffuse;        // 31
  _QLV_RGB specular;       // 32
  int32_t shine;           // 22
  _QLV_NAME envmaptexture; // 14
  bool envmap;             // 23
  int32_t envtexture;      // GL id of envmaptexture
  int32_t magtype;         // 21: 0 nearest, 1 linear, 2 mipmap nearest, 3 mipmap linear
  bool receivelight;       // 24
  float alphatest;         // 18: 0 off, else the reference value
  uint8_t depthtest;       // 26: 0 read/write, 1 read, 2 write, 3 none
  uint8_t blend;           // 27
  uint8_t texturewrap;     // 28
  float constantalpha;     // 19
  float flaresize;         // 20
  bool reserved;
  uint8_t depthfunc;       // 82: 0 LESS, 1 LEQUAL, 2 EQUAL, 3 GREATER, 4 GEQUAL
  _QLV_RGB envcolor;       // 93
  float envalpha;          // 92
  bool envalphablend;      // 94
};

struct _QLV_OBJECT {
  uint8_t rendermode;      // 47
  bool hasnormals;         // 44
  bool hastexcoords;       // 42
  bool hascolors;          // 43
  bool visible;            // 45
  _QLV_NAME name;          // 33
  int32_t vertexcount;     // 34
  int32_t facecount;       // 35
  int32_t material;        // 36
  int32_t poskeycount;     // 37
  int32_t rotkeycount;     // 38
  int32_t scalekeycount;   // 39
  int32_t stripcount;      // 40
  bool backfacecull;       // 46
  int32_t passno;          // 41: 0 standard, 1 transparent, 2 alpha-channel texture
  uint8_t cullmode;        // 83: 0 always, 1 within culldistance, else never
  int32_t facebuffer;
  int32_t vertexbuffer;
  int32_t normalbuffer;
  int32_t texcoordbuffer;
  _QLV_MATRIX matrix;      // 48, carried only
  _QLV_VECTOR pivot;       // 49
  _QLV_RGB samplecolor;
  _QLV_PARTICLEDATA particle;
  bool extraflag1;         // 80, carried only
  bool extraflag2;         // 81, carried only
  _QLV_VECTOR rotation;    // degrees; 0 after loading
  _QLV_VECTOR velocity;    // 91

  uint16_t *strip;             // 50, stripcount
  _QLV_FACE *faces;            // 52, facecount
  _QLV_FACE *edgefaces;        // 99, facecount
  _QLV_VECTOR *vertices;       // 51, vertexcount
  _QLV_VECTOR *tangents;       // derived, vertexcount
  _QLV_VECTOR *binormals;      // derived, vertexcount
  _QLV_RGB *colors;            // 53, vertexcount
  _QLV_TEXTCOORD *texcoords;   // 54, vertexcount
  _QLV_VECTOR *normals;        // 55, vertexcount
  _QLV_VECTOR *facenormals;    // derived, facecount
  _QLV_KEYVECTOR *poskeys;     // 56, poskeycount
  _QLV_KEYQUAT *rotkeys;       // 57, rotkeycount
  _QLV_KEYVECTOR *scalekeys;   // 58, scalekeycount
  _QLV_PLANE *planes;          // derived, facecount, never filled
  _QLV_FACE *neighbours;       // 86 or derived, facecount; -1 for no face
  uint8_t *lightvisible;       // derived, facecount
  uint8_t *contour;            // derived, 3 x facecount
  _QLV_VECTOR *facecenters;    // derived, facecount

  bool castshadow;         // 88
  bool lightscaled;        // 89
  bool fog;                // 95
  uint8_t fogmode;         // 96: 0 LINEAR, 1 EXP, 2 EXP2
  _QLV_FOGPARAM fogparam;  // 97
  _QLV_RGBA fogcolor;      // 98
};

struct _QLV_LIGHT {
  _QLV_NAME name;          // 72
  _QLV_VECTOR pos;         // 75
  int32_t poskeycount;     // 73
  _QLV_RGB ambient;        // 76
  _QLV_RGB diffuse;        // 77
  _QLV_RGB specular;       // 78
  bool enabled;            // 74
  _QLV_KEYVECTOR *poskeys; // 79, poskeycount
};

enum : int32_t { kQlvLightCount = 8 };

struct _QLV_SCENE {
  int32_t chunkcount;      // 87, informational
  uint8_t versionmajor;    // 1
  uint8_t versionminor;    // 2
  _QLV_NAME name;          // 3; prefix of the arrays' allocation tags
  int32_t sparevalue;      // 4, carried only
  int32_t materialcount;   // 5
  int32_t objectcount;     // 6
  int32_t passcount;       // highest passno of any object
  float camerafov;         // 7, radians
  float cameranear;        // 8
  float camerafar;         // 9
  int32_t camposkeycount;  // 10
  int32_t camtargetkeycount; // 11
  int32_t maxfacecount;    // largest facecount of any object
  int32_t volumequadcount; // shadow-volume quads of the current pass

  struct _QLV_MATERIAL *materials;   // materialcount
  struct _QLV_OBJECT *objects;       // objectcount
  _QLV_KEYVECTOR *camposkeys;        // 70
  _QLV_KEYVECTOR *camtargetkeys;     // 71
  _QLV_VECTOR *camposease;           // one control vector per camera position key
  _QLV_VECTOR *camtargetease;        // one per camera target key
  _QLV_PARTICLE *particles;          // particlecount
  _QLV_VECTOR *volumearray;          // 12 vertices per face (three quads of four)
  uint32_t *volumeindex;             // 18 indices per face (six triangles)
  int32_t volumebuffer;
  int32_t volumeindexbuffer;

  _QLV_LIGHT lights[kQlvLightCount]; // 72-79
  void *reserved1;
  int32_t reserved2;
  int32_t particlecount;
  float culldistance;      // 84
  float volumelength;      // shadow extrusion; 1000.0 after loading
  float lightscale;        // 90
};

// Capacities of the scene's array types (highest valid index; blocks hold exactly the
// counted entries).
enum : int32_t {
  kQlvMaxMaterialIndex = 5000,
  kQlvMaxObjectIndex = 8000,
  kQlvMaxArrayIndex = 500000,
  kQlvMaxSceneIndex = 100,
};

typedef _QLV_MATERIAL _QLV_MATERIAL_ARRAY[kQlvMaxMaterialIndex + 1];
typedef _QLV_OBJECT _QLV_OBJECT_ARRAY[kQlvMaxObjectIndex + 1];
typedef _QLV_VECTOR _QLV_VECTOR_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_KEYVECTOR _QLV_KEYVECTOR_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_KEYQUAT _QLV_KEYQUAT_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_TEXTCOORD _QLV_TEXTCOORD_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_RGB _QLV_RGB_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_FACE _QLV_FACE_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_PLANE _QLV_PLANE_ARRAY[kQlvMaxArrayIndex + 1];
typedef _QLV_PARTICLE _QLV_PARTICLE_ARRAY[kQlvMaxArrayIndex + 1];
// The project player's scene list.
typedef _QLV_SCENE _qlv_scene_array[kQlvMaxSceneIndex + 1];

static_assert(sizeof(_QLV_VECTOR) == 12 && sizeof(_QLV_RGB) == 12 && sizeof(_QLV_FOGPARAM) == 12);
static_assert(sizeof(_QLV_RGBA) == 16 && sizeof(_QLV_KEYVECTOR) == 16 && sizeof(_QLV_KEYQUAT) == 20);
static_assert(sizeof(_QLV_TEXTCOORD) == 8 && sizeof(_QLV_FACE) == 12 && sizeof(_QLV_MATRIX) == 64);
static_assert(sizeof(_QLV_PLANE) == 16 && sizeof(bool) == 1);
