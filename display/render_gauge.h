// RenderGauge: composes one picture of the gauge from FlightData and
// presents it. Main thread only.
#pragma once

int RenderGauge();
