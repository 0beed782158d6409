// The codes that keep a value for the display, subpicture and DVD layers:
// a GET code returns the value stored through its SET partner; a SET code
// and a lone code store arg and return the old value.
#include <array>

#include "video/engine/commands/command_parts.h"
#include "video/engine/engine.h"

namespace kestrum::commands {

namespace {

enum class Role : uint8_t { none, get, set, lone };

constexpr std::array<Role, kLastCommand + 1> make_roles() {
  std::array<Role, kLastCommand + 1> r{};
  constexpr int32_t lone[] = {VCMD_VALUE_17,  VCMD_VALUE_20,  VCMD_VALUE_24,  VCMD_VALUE_33,  VCMD_VALUE_39,
                              VCMD_VALUE_45,  VCMD_VALUE_60,  VCMD_VALUE_69,  VCMD_VALUE_75,  VCMD_NEXT_INTRA,
                              VCMD_VALUE_86,  VCMD_VALUE_101, VCMD_VALUE_132, VCMD_VALUE_151, VCMD_VALUE_158,
                              VCMD_VALUE_161, VCMD_VALUE_171, VCMD_VALUE_183};
  constexpr int32_t get_set[][2] = {
      {VCMD_GET_VALUE_37, VCMD_SET_VALUE_38},   {VCMD_GET_VALUE_50, VCMD_SET_VALUE_51},
      {VCMD_GET_VALUE_54, VCMD_SET_VALUE_55},   {VCMD_GET_VALUE_58, VCMD_SET_VALUE_59},
      {VCMD_GET_VALUE_63, VCMD_SET_VALUE_64},   {VCMD_GET_VALUE_77, VCMD_SET_VALUE_78},
      {VCMD_GET_VALUE_90, VCMD_SET_VALUE_91},   {VCMD_GET_VALUE_99, VCMD_SET_VALUE_100},
      {VCMD_GET_VALUE_105, VCMD_SET_VALUE_106}, {VCMD_GET_VALUE_108, VCMD_SET_VALUE_109},
      {VCMD_GET_VALUE_110, VCMD_SET_VALUE_111}, {VCMD_GET_VALUE_114, VCMD_SET_VALUE_115},
      {VCMD_GET_VALUE_116, VCMD_SET_VALUE_117}, {VCMD_GET_VALUE_118, VCMD_SET_VALUE_119},
      {VCMD_GET_VALUE_120, VCMD_SET_VALUE_121}, {VCMD_GET_VALUE_122, VCMD_SET_VALUE_123},
      {VCMD_GET_VALUE_124, VCMD_SET_VALUE_125}, {VCMD_GET_VALUE_126, VCMD_SET_VALUE_127},
      {VCMD_GET_VALUE_145, VCMD_SET_VALUE_146}, {VCMD_GET_VALUE_149, VCMD_SET_VALUE_150},
      {VCMD_GET_VALUE_152, VCMD_SET_VALUE_153}, {VCMD_GET_VALUE_154, VCMD_SET_VALUE_155},
      {VCMD_GET_VALUE_156, VCMD_SET_VALUE_157}, {VCMD_GET_VALUE_163, VCMD_SET_VALUE_164},
      {VCMD_GET_VALUE_169, VCMD_SET_VALUE_170}, {VCMD_GET_VALUE_174, VCMD_SET_VALUE_175},
      {VCMD_GET_VALUE_185, VCMD_SET_VALUE_186}};
  for (int32_t c : lone) r[static_cast<size_t>(c)] = Role::lone;
  for (const auto &p : get_set) {
    r[static_cast<size_t>(p[0])] = Role::get;
    r[static_cast<size_t>(p[1])] = Role::set;
  }
  return r;
}
constexpr auto kRoles = make_roles();

}  // namespace

Outcome stored_value(int32_t cmd, intptr_t arg, intptr_t &result) {
  auto &stored = engine().state.stored;
  switch (kRoles[static_cast<size_t>(cmd)]) {
    case Role::get:
      result = stored[static_cast<size_t>(cmd + 1)];
      return Outcome::done;
    case Role::set:
    case Role::lone:
      result = stored[static_cast<size_t>(cmd)];
      stored[static_cast<size_t>(cmd)] = arg;
      return Outcome::done;
    case Role::none:
      break;
  }
  return Outcome::not_mine;
}

}  // namespace kestrum::commands
