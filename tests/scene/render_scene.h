// Hand-built scenes for the renderer tests: the record and arrays it points into,
// owned by one object so each test states only what it needs.
#pragma once

#include <deque>
#include <vector>

#include "scene/records.h"

namespace rtest {

struct TestScene {
  _QLV_SCENE scene{};
  std::vector<_QLV_MATERIAL> materials;
  std::vector<_QLV_OBJECT> objects;
  std::vector<_QLV_KEYVECTOR> camPos, camTarget;
  std::vector<_QLV_VECTOR> camPosEase, camTargetEase;
  std::deque<std::vector<_QLV_KEYVECTOR>> keyStore;
  std::deque<std::vector<_QLV_FACE>> faceStore;
  std::deque<std::vector<_QLV_VECTOR>> vectorStore;
  std::deque<std::vector<uint8_t>> byteStore;

  // A camera from eye to target (two keys at frames 0 and 100 with the same points).
  TestScene(_QLV_VECTOR eye = {0, -10, 0}, _QLV_VECTOR target = {0, 0, 0}) {
    camPos = {{0, eye.x, eye.y, eye.z}, {100, eye.x, eye.y, eye.z}};
    camTarget = {{0, target.x, target.y, target.z}, {100, target.x, target.y, target.z}};
    camPosEase.resize(2);
    camTargetEase.resize(2);
    scene.camerafov = 0.785398163f;
    scene.cameranear = 1.0f;
    scene.camerafar = 1000.0f;
    scene.volumelength = 1000.0f;
    scene.lightscale = 1.0f;
    materials.push_back(Material());
    Sync();
  }

  static _QLV_MATERIAL Material() {
    _QLV_MATERIAL m{};
    m.utile = m.vtile = 1.0f;
    m.constantalpha = 1.0f;
    m.ambient = {1, 1, 1};
    return m;
  }

  // An object of `faces` triangles over three vertices; buffer ids from base.
  _QLV_OBJECT &AddObject(int32_t faces = 1, int32_t passno = 0, int32_t base = 10) {
    _QLV_OBJECT o{};
    o.visible = true;
    o.passno = passno;
    o.facecount = faces;
    o.vertexcount = 3;
    vectorStore.push_back({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}});
    o.vertices = vectorStore.back().data();
    faceStore.push_back(std::vector<_QLV_FACE>((size_t)faces, _QLV_FACE{0, 1, 2}));
    o.faces = faceStore.back().data();
    o.vertexbuffer = base;
    o.normalbuffer = base + 1;
    o.texcoordbuffer = base + 2;
    o.facebuffer = base + 3;
    objects.push_back(o);
    Sync();
    return objects.back();
  }

  _QLV_KEYVECTOR *Keys(std::vector<_QLV_KEYVECTOR> keys) {
    keyStore.push_back(std::move(keys));
    return keyStore.back().data();
  }

  // Points the record at the arrays (call again after changing the vectors).
  _QLV_SCENE *Sync() {
    scene.materials = materials.data();
    scene.materialcount = (int32_t)materials.size();
    scene.objects = objects.data();
    scene.objectcount = (int32_t)objects.size();
    scene.camposkeys = camPos.data();
    scene.camposkeycount = (int32_t)camPos.size();
    scene.camtargetkeys = camTarget.data();
    scene.camtargetkeycount = (int32_t)camTarget.size();
    scene.camposease = camPosEase.data();
    scene.camtargetease = camTargetEase.data();
    int32_t passes = 0;
    for (const _QLV_OBJECT &o : objects) passes = o.passno > passes ? o.passno : passes;
    scene.passcount = passes;
    return &scene;
  }
};

}  // namespace rtest
