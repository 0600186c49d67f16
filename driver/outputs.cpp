#include "driver/outputs.h"

#include <array>

#include "writers/writers.h"

namespace KOVA {

namespace {

constexpr auto TABLE = std::to_array<OUTPUT_KIND>({
    {1, "restart", ".rst", "         KOVA-ReStart ------- 1", OUTPUT_FILES::TYPED_FILE, nullptr,
     [](MODEL_STORE& S) {
       WRITE_RESTART(S.NFLAG, S.X, S.Y, S.H, S.Q, S.NCODE, S.NPAR1, S.NPAR2, S.NUMNP, S.ISTEP,
                     S.TIME);
     }},
    {2, "tecplot", ".plt", "         TECPLOT DATA ------- 2", OUTPUT_FILES::TYPED_FILE, nullptr,
     [](MODEL_STORE& S) {
       WRITE_TECPLOT(S.TITLE, S.X, S.Y, S.H, S.VX, S.VY, S.IX, S.VXN, S.VYN, S.NCNT, S.NUMNP,
                     S.NUMEL, S.MAXN, S.TIME);
     }},
    {3, "atlas", "", "         ATLAS   DATA ------- 3", OUTPUT_FILES::ATLAS_PAIR,
     [](MODEL_STORE& S) { WRITE_ATLAS_MESH(S.TITLE, S.NUMNP, S.X, S.Y, S.NUMEL, S.IX, S.MAXN); },
     [](MODEL_STORE& S) {
       WRITE_ATLAS_RESULT(S.NREAD, S.H, S.VX, S.VY, S.NUMNP, S.NUMEL, S.TIME, S.MAXN);
     }},
    {4, "femap", ".neu", "         FEMAP   DATA ------- 4", OUTPUT_FILES::TYPED_FILE,
     [](MODEL_STORE& S) {
       WRITE_NEUTRAL_MODEL(S.X, S.Y, S.IX, S.NUMNP, S.NUMEL, S.MAXN, S.IOUT);
       WRITE_NEUTRAL_GROUP(S.IX, S.NUMEL, S.MAXN, S.IOUT, S.NGRPID);
     },
     [](MODEL_STORE& S) {
       WRITE_NEUTRAL_STEP(S.H, S.VXN, S.VYN, S.VX, S.VY, S.Q, S.NCNT, S.IX, S.NUMNP, S.NUMEL,
                          S.MAXN, S.TIME, S.IOUT, S.NSETID);
     }},
});

}  // namespace

constinit const std::span<const OUTPUT_KIND> OUTPUTS{TABLE};

const OUTPUT_KIND* OUTPUT_OF_TYPE(std::int32_t ITYPE) {
  for (const OUTPUT_KIND& K : OUTPUTS)
    if (K.ITYPE == ITYPE) return &K;
  return nullptr;
}

}  // namespace KOVA
