#pragma once
// The pieces the oxygen solubility formulas share (values/RawConversion.h and
// values/UnitConversion.h), so each is written once: the scaled temperature and
// fresh-water polynomial of the solubility at one atmosphere, the theta term,
// and the correction of a solubility to another barometric pressure.

// ln((298.15 - t) / (273.15 + t)), both constants held as single-precision
// values as the instruments hold them. NaN outside -273.15 < t < 298.15, where
// the logarithm is undefined.
double OxygenScaledTemperature(double t);

// The natural logarithm of the fresh-water oxygen solubility in mg/L at one
// atmosphere, as a polynomial in the scaled temperature ts.
double FreshWaterOxygenLog(double ts);

// The temperature term theta of the pressure correction (t in Celsius).
double OxygenTheta(double t);

// A solubility cs at one atmosphere (mg/L) corrected to pAtm atmospheres at
// temperature t: cs pAtm (1 - Pwv / pAtm) (1 - theta pAtm) / ((1 - Pwv) (1 - theta)),
// Pwv the water vapour pressure. A zero pressure or divisor gives NaN.
double OxygenAtPressure(double cs, double pAtm, double t);
