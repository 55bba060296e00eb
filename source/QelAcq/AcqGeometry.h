// Frame geometry and timing checks: the two shared validators of the
// horizontal and the vertical group, the camera frame rate, the limit that
// CAM 5 selects, and the geometric-step test.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqValidationContext.h"

// Horizontal group: VIC 2100 (mode word), CAM 10, 11, 15, 21, the window VIC
// 2065 and 2067, the scaling VIC 2069 and 2071. Entry of CAM 10, 11, 15, 21
// and VIC 2065, 2067, 2069, 2071, 2099.
std::uint32_t AcqCheckFrameGeometry(AcqValidationContext* context);
// Vertical group: CAM 3 (scan kind), VIC 2105, VIC 2099 (mode word), CAM 12,
// 13, 19, 23, the window VIC 2066 and 2068, the scaling VIC 2070 and 2072.
// Entry of CAM 3, 12, 13, 19, 23 and VIC 2066, 2068, 2070, 2072, 2100.
std::uint32_t AcqValidateVerticalGroup(AcqValidationContext* context);

// Pixel clock / (horizontal total x vertical total) of the camera, halved
// for an interlaced camera (CAM 1 = 1); 0 when either total is 0. The totals
// and their product are taken whole, never wrapped.
std::uint32_t AcqComputeCameraFrameRate(const CamPrmBlock* cam);

// The VIC capability word that CAM 5 selects (1: 2048, 2: 2049, 4: 2050,
// 8: 2051); 0 for any other CAM 5 value.
std::uint32_t AcqGetModeLimit(const AcqValidationContext* context);

// True when repeated multiplication of `first` by `factor` reaches `value`
// before it exceeds `maximum`. A factor below 2 reaches nothing beyond its
// first product, so the search always ends at the maximum or sooner.
bool IsGeometricStep(std::uint32_t value, std::uint32_t first, std::uint32_t maximum, std::uint32_t factor);
