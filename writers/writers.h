#pragma once
// The output writers. Each appends the records of one target to a unit the
// driver opened; arrays are the model store's (0-based, IX column by column
// with columns MAXN long).
#include <cstdint>
#include <span>

#include "model/store.h"

namespace KOVA {

// Restart data, unit 8: one block per selected step.
void WRITE_RESTART(INTS NFLAG, REALS X, REALS Y, REALS H, REALS Q, INTS NCODE, REALS NPAR1,
                   REALS NPAR2, std::int32_t NUMNP, std::int32_t ISTEP, double TIME);

// TECPLOT point data, unit 8: one block per selected step.
void WRITE_TECPLOT(const TITLE_TEXT& TITLE, REALS X, REALS Y, REALS H, REALS VX, REALS VY, INTS IX,
                   std::span<double> VXN, std::span<double> VYN, std::span<std::int32_t> NCNT,
                   std::int32_t NUMNP, std::int32_t NUMEL, std::int32_t MAXN, double TIME);

// atlas.msh, unit 21: written once.
void WRITE_ATLAS_MESH(const TITLE_TEXT& TITLE, std::int32_t NUMNP, REALS X, REALS Y,
                      std::int32_t NUMEL, INTS IX, std::int32_t MAXN);

// atlas.pst, unit 22: one block per selected step.
void WRITE_ATLAS_RESULT(std::int32_t NREAD, REALS H, REALS VX, REALS VY, std::int32_t NUMNP,
                        std::int32_t NUMEL, double TIME, std::int32_t MAXN);

// Neutral file, unit IOUT: header and model blocks, once.
void WRITE_NEUTRAL_MODEL(REALS X, REALS Y, INTS IX, std::int32_t NUMNP, std::int32_t NUMEL,
                         std::int32_t MAXN, std::int32_t IOUT);

// Neutral file: the group block, once; advances NGRPID.
void WRITE_NEUTRAL_GROUP(INTS IX, std::int32_t NUMEL, std::int32_t MAXN, std::int32_t IOUT,
                         std::int32_t& NGRPID);

// Neutral file: output set and vector blocks, per selected step; advances NSETID.
void WRITE_NEUTRAL_STEP(REALS H, std::span<double> VXN, std::span<double> VYN, REALS VX, REALS VY,
                        REALS Q, std::span<std::int32_t> NCNT, INTS IX, std::int32_t NUMNP,
                        std::int32_t NUMEL, std::int32_t MAXN, double TIME, std::int32_t IOUT,
                        std::int32_t& NSETID);

}  // namespace KOVA
