// The mesh loader and drawer against a recording GL table: what is read, uploaded,
// bound and drawn, and how malformed mesh files are refused.
#include "presentation/spare.h"

#include <algorithm>

#include "base/log.h"
#include "base/mem.h"
#include "tests/presentation/spare_util.h"

namespace spare_test {
namespace {

int LoadingSteps;

// Tracked blocks the mesh loader holds, from the memory list.
int MeshBlocks() {
  if (SYS_MemInfo("spare.mem") != 0) return -1;
  std::istringstream in(ReadFile("spare.mem"));
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.find("] MeshLoad -> ") != std::string::npos;
  return n;
}

class SpareMesh : public Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    InstallRecorder();
    LoadingSteps = 0;
    MeshLoadingStep = [] { LoadingSteps++; };
  }
  void TearDown() override {
    MeshFree(&mesh_);
    Framework::TearDown();
  }
  void Write(const std::string &file, const std::vector<uint8_t> &bytes) {
    WriteFile(dir_ / file, bytes.data(), bytes.size());
  }
  template <typename T>
  static std::vector<uint8_t> Bytes(const std::vector<T> &values) {
    std::vector<uint8_t> out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.data(), out.size());
    return out;
  }
  // Two triangles over four vertices, one stray byte or two after each whole record.
  void WriteQuad(std::vector<uint32_t> faces = {0, 1, 2, 2, 3, 0}) {
    faces_ = Bytes(faces);
    vertices_ = Bytes(std::vector<float>{-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0});
    normals_ = Bytes(std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});
    std::vector<uint8_t> f = faces_, v = vertices_;
    f.insert(f.end(), {9, 9, 9});
    v.insert(v.end(), {7});
    Write("quad.face", f);
    Write("quad.vertex", v);
    Write("quad.vertexnormal", normals_);
  }

  MeshBuffers mesh_ = {};
  std::vector<uint8_t> faces_, vertices_, normals_;
};

TEST_F(SpareMesh, LoadUploadsWholeRecordsIntoThreeBuffers) {
  WriteQuad();
  ASSERT_EQ(MeshLoad(&mesh_, "quad"), 0);
  EXPECT_EQ(LoadingSteps, 3);
  EXPECT_EQ(mesh_.faceCount, 2);
  EXPECT_EQ(mesh_.vertexCount, 4);
  ASSERT_NE(mesh_.spare, nullptr);
  EXPECT_EQ(MeshBlocks(), 4) << ReadFile("spare.mem");
  EXPECT_EQ(std::memcmp(mesh_.faces, faces_.data(), faces_.size()), 0);
  EXPECT_EQ(std::memcmp(mesh_.vertices, vertices_.data(), vertices_.size()), 0);
  EXPECT_EQ(std::memcmp(mesh_.normals, normals_.data(), normals_.size()), 0);
  EXPECT_EQ(mesh_.vertexBuffer, 1u);
  EXPECT_EQ(mesh_.indexBuffer, 2u);
  EXPECT_EQ(mesh_.normalBuffer, 3u);

  const std::vector<Op> ops = Ops();
  EXPECT_EQ(ops, (std::vector<Op>{kGenBuffers, kBindBuffer, kBufferData, kGenBuffers, kBindBuffer, kBufferData,
                                  kGenBuffers, kBindBuffer, kBufferData}));
  struct Upload {
    GLenum target;
    GLuint buffer;
    const std::vector<uint8_t> *bytes;
  };
  const Upload uploads[3] = {{GL_ARRAY_BUFFER_ARB, 1, &vertices_},
                             {GL_ELEMENT_ARRAY_BUFFER_ARB, 2, &faces_},
                             {GL_ARRAY_BUFFER_ARB, 3, &normals_}};
  const std::vector<Call> binds = Only(kBindBuffer), data = Only(kBufferData);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(binds[i].a[0], uploads[i].target) << i;
    EXPECT_EQ(binds[i].a[1], uploads[i].buffer) << i;
    EXPECT_EQ(data[i].a[0], uploads[i].target) << i;
    EXPECT_EQ(data[i].a[2], GL_STATIC_DRAW_ARB) << i;
    EXPECT_EQ(data[i].data, *uploads[i].bytes) << "upload " << i << " holds the whole records only";
  }
}

TEST_F(SpareMesh, DrawBindsEachBufferAndDrawsEveryIndex) {
  WriteQuad();
  ASSERT_EQ(MeshLoad(&mesh_, "quad"), 0);
  Calls().clear();
  MeshDraw(&mesh_);
  const std::vector<Op> ops = Ops();
  ASSERT_EQ(ops, (std::vector<Op>{kEnableClientState, kBindBuffer, kVertexPointer, kEnableClientState, kBindBuffer,
                                  kNormalPointer, kBindBuffer, kDrawElements, kDisableClientState,
                                  kDisableClientState}));
  const std::vector<Call> &c = Calls();
  EXPECT_EQ(c[0].a[0], GL_VERTEX_ARRAY);
  EXPECT_EQ(c[1].a[1], mesh_.vertexBuffer);
  EXPECT_EQ(c[2].a[0], 3);
  EXPECT_EQ(c[2].a[1], GL_FLOAT);
  EXPECT_EQ(c[2].a[2], 12);
  EXPECT_EQ(c[2].a[3], 0) << "offset into the buffer";
  EXPECT_EQ(c[3].a[0], GL_NORMAL_ARRAY);
  EXPECT_EQ(c[4].a[1], mesh_.normalBuffer);
  EXPECT_EQ(c[5].a[0], GL_FLOAT);
  EXPECT_EQ(c[5].a[1], 12);
  EXPECT_EQ(c[6].a[0], GL_ELEMENT_ARRAY_BUFFER_ARB);
  EXPECT_EQ(c[6].a[1], mesh_.indexBuffer);
  EXPECT_EQ(c[7].a[0], GL_TRIANGLES);
  EXPECT_EQ(c[7].a[1], 6);
  EXPECT_EQ(c[7].a[2], GL_UNSIGNED_INT);
  EXPECT_EQ(c[7].a[3], 0);
  EXPECT_EQ(c[8].a[0], GL_VERTEX_ARRAY);
  EXPECT_EQ(c[9].a[0], GL_NORMAL_ARRAY);

  // A mesh that never loaded has no buffers to point into.
  Calls().clear();
  const MeshBuffers empty = {};
  MeshDraw(&empty);
  MeshDraw(nullptr);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SpareMesh, FreeDeletesBuffersAndReleasesBlocks) {
  WriteQuad();
  ASSERT_EQ(MeshLoad(&mesh_, "quad"), 0);
  Calls().clear();
  MeshFree(&mesh_);
  EXPECT_EQ(Only(kDeleteBuffers).size(), 3u);
  EXPECT_EQ(MeshBlocks(), 0);
  EXPECT_EQ(mesh_.faces, nullptr);
  EXPECT_EQ(mesh_.spare, nullptr);
  EXPECT_EQ(mesh_.vertexBuffer, 0u);
  MeshFree(&mesh_);  // twice is harmless
  EXPECT_EQ(Only(kDeleteBuffers).size(), 3u);
}

TEST_F(SpareMesh, EmptyFilesGiveAnEmptyMesh) {
  Write("none.face", {});
  Write("none.vertex", {1, 2, 3});
  Write("none.vertexnormal", {});
  ASSERT_EQ(MeshLoad(&mesh_, "none"), 0);
  EXPECT_EQ(mesh_.faceCount, 0);
  EXPECT_EQ(mesh_.vertexCount, 0);
  Calls().clear();
  MeshDraw(&mesh_);
  ASSERT_EQ(Only(kDrawElements).size(), 1u);
  EXPECT_EQ(Only(kDrawElements)[0].a[1], 0);
}

// Every malformed set is refused before any GL object exists, leaves the record
// empty, frees what it read and says why in the log.
TEST_F(SpareMesh, MalformedFilesAreRefused) {
  struct Case {
    const char *what;
    std::vector<uint32_t> faces;
    size_t normalBytes;
    const char *logged;
  };
  const Case cases[] = {
      {"index equal to the vertex count", {0, 1, 4}, 48, "[mesh] face index past the last vertex: quad"},
      {"huge index", {0, 0xFFFFFFFFu, 1}, 48, "[mesh] face index past the last vertex: quad"},
      {"normals short of the vertices", {0, 1, 2}, 47, "[mesh] normals do not cover the vertices: quad"},
      {"no normals at all", {0, 1, 2}, 0, "[mesh] normals do not cover the vertices: quad"},
  };
  for (const Case &c : cases) {
    WriteQuad(c.faces);
    normals_.resize(c.normalBytes);
    Write("quad.vertexnormal", normals_);
    Calls().clear();
    const int32_t blocks = MeshBlocks();
    mesh_.faceCount = 99;
    EXPECT_EQ(MeshLoad(&mesh_, "quad"), -1) << c.what;
    EXPECT_NE(errGetLastError(), 0) << c.what;
    EXPECT_TRUE(Calls().size() == 1 || Calls().empty()) << c.what << ": no GL object";
    EXPECT_EQ(Only(kGenBuffers).size(), 0u) << c.what;
    EXPECT_EQ(mesh_.faceCount, 0) << c.what;
    EXPECT_EQ(mesh_.faces, nullptr) << c.what;
    EXPECT_EQ(MeshBlocks(), blocks) << c.what << ": read blocks released";
    EXPECT_NE(Log().find(c.logged), std::string::npos) << c.what;
  }
}

// Random sizes and bytes: a load either refuses or yields a mesh whose every index
// names a vertex and whose normals cover every vertex (the sanitizer build checks
// that nothing is read out of bounds on the way).
TEST_F(SpareMesh, RandomFilesNeverYieldAnUnsafeMesh) {
  uint32_t state = 12345;
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  int loaded = 0;
  for (int round = 0; round < 200; round++) {
    const uint32_t vertices = next() % 9;
    std::vector<uint8_t> files[3];
    // The normals file is at times up to 12 bytes short of the vertex file.
    const int64_t normals = (int64_t)vertices * 12 + next() % 25 - 12 * (next() % 2);
    const size_t sizes[3] = {next() % 61, vertices * 12 + next() % 12, (size_t)std::max<int64_t>(normals, 0)};
    for (int f = 0; f < 3; f++) {
      files[f].resize(sizes[f]);
      // Small bytes in the face file make in-range indices likely.
      for (uint8_t &b : files[f]) b = (uint8_t)(f == 0 && next() % 4 ? next() % 3 : next());
    }
    Write("r.face", files[0]);
    Write("r.vertex", files[1]);
    Write("r.vertexnormal", files[2]);
    if (MeshLoad(&mesh_, "r") != 0) {
      EXPECT_EQ(mesh_.faces, nullptr);
      continue;
    }
    loaded++;
    ASSERT_EQ(mesh_.faceCount, (int32_t)(sizes[0] / 12));
    ASSERT_EQ(mesh_.vertexCount, (int32_t)vertices);
    ASSERT_GE(files[2].size(), vertices * 12u);
    for (int32_t i = 0; i < mesh_.faceCount * 3; i++) ASSERT_LT(mesh_.faces[i], vertices);
    MeshFree(&mesh_);
  }
  EXPECT_GT(loaded, 10) << "the generator should make some sound meshes";
  EXPECT_LT(loaded, 190) << "and some unsound ones";
  EXPECT_EQ(MeshBlocks(), 0);
}

TEST_F(SpareMesh, MissingFileOrGlSupportIsRefused) {
  WriteQuad();
  std::filesystem::remove(dir_ / "quad.vertexnormal");
  const int32_t blocks = MeshBlocks();
  EXPECT_EQ(MeshLoad(&mesh_, "quad"), -1);
  EXPECT_EQ(LoadingSteps, 2) << "steps only for the files read";
  EXPECT_EQ(MeshBlocks(), blocks);
  EXPECT_NE(Log().find("[mesh] cannot open quad.vertexnormal"), std::string::npos);

  WriteQuad();
  // A longer extension name that starts alike is not the buffer-object extension.
  InstallRecorder("GL_ARB_vertex_buffer_object_rgb32 GL_EXT_foo");
  EXPECT_EQ(MeshLoad(&mesh_, "quad"), -1);
  EXPECT_TRUE(Only(kGenBuffers).empty());
  EXPECT_NE(Log().find("[mesh] GL_ARB_vertex_buffer_object is missing for quad"), std::string::npos);

  InstallRecorder();
  pgl::glBufferDataARB = nullptr;
  EXPECT_EQ(MeshLoad(&mesh_, "quad"), -1);

  // Past the size bound (a sparse file, so the test writes nothing of it).
  InstallRecorder();
  WriteQuad();
  std::filesystem::resize_file(dir_ / "quad.face", (uintmax_t)kMeshFileLimit + 12);
  EXPECT_EQ(MeshLoad(&mesh_, "quad"), -1);
  EXPECT_NE(Log().find("[mesh] size out of range: quad.face"), std::string::npos);
  EXPECT_EQ(MeshBlocks(), 0);

  WriteQuad();
  EXPECT_EQ(MeshLoad(&mesh_, std::string(256, 'm')), -1) << "a name longer than 255 characters";
  EXPECT_EQ(MeshLoad(&mesh_, ""), -1);
  EXPECT_EQ(MeshLoad(nullptr, "quad"), -1);
  EXPECT_EQ(MeshLoad(&mesh_, "quad"), 0) << "and a sound set still loads";
}

}  // namespace
}  // namespace spare_test
