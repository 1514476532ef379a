#pragma once

// Sets a custom line rate on an open serial device and reads back what the driver took; false
// when the driver refuses custom rates.
bool OsTrySetRate(int descriptor, unsigned rate, unsigned* taken);
