#pragma once
// The series of Chart1 in creation order; a series' index is its number minus one.

namespace orvalis {

enum Chart1Series { S1Ctf, S2Temporal, S3Spatial, S4Combined, S5TemporalNeg, S6SpatialNeg, S7CombinedNeg, S8Ctf2 };

} // namespace orvalis
