// Scene configuration text.
//
// A line-oriented text of a scene's render settings (camera lens, material look,
// object flags and emitter values, lights), items addressed by name:
// "camerafov=0.7854", "material(Wood).shine=20". SceneConfigSave writes every setting;
// SceneConfigLoad applies a file to a loaded scene and leaves unnamed keys alone.
// Plain disk paths ("\" is taken as "/").
// Depends on: scene/records.h, scene/scenefile (SceneLog).
#pragma once

#include <cstdint>
#include <string_view>

#include "presentation/pstring.h"
#include "scene/records.h"

// 0, or -1 (logged) when the file cannot be created or written.
int32_t SceneConfigSave(_QLV_SCENE *scene, const ShortString &fileName);
// 0; -1 (logged) when the file cannot be opened or a strict integer value is
// malformed (the lines before it stay applied).
int32_t SceneConfigLoad(_QLV_SCENE *scene, const ShortString &fileName);

// A number as the configuration text and the geometry export write it: fixed point
// with exactly four decimals ("0.5000", "-12.2500").
ShortString ConfigFixed4(float value);

// Line parts: text before the first of "=", "(", "." (the whole line when none);
// between the first "(" and the first ")"; between the first "." and the first "=";
// after the first "=" (the whole line when there is none). Parts longer than 255
// characters are cut. Triple parts: before the first comma (empty without one),
// between the first and second, after the second.
ShortString ConfigHead(std::string_view line);
ShortString ConfigItemName(std::string_view line);
ShortString ConfigKey(std::string_view line);
ShortString ConfigValue(std::string_view line);
ShortString TripleFirst(std::string_view value);
ShortString TripleSecond(std::string_view value);
ShortString TripleThird(std::string_view value);

// Index of the last item named exactly name; 0 when none is.
int32_t ConfigFindMaterial(const _QLV_SCENE *scene, const ShortString &name);
int32_t ConfigFindObject(const _QLV_SCENE *scene, const ShortString &name);
int32_t ConfigFindLight(const _QLV_SCENE *scene, const ShortString &name);
// Store value by key in the named item (item 0 when no item has the name); unknown
// keys change nothing. ConfigObjectKey returns -1 for a malformed strict integer.
void ConfigMaterialKey(const ShortString &key, const ShortString &value, _QLV_SCENE *scene, const ShortString &name);
int32_t ConfigObjectKey(const ShortString &key, const ShortString &value, _QLV_SCENE *scene, const ShortString &name);
void ConfigLightKey(const ShortString &key, const ShortString &value, _QLV_SCENE *scene, const ShortString &name);
