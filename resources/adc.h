// Placeholder for adc.h: stand-in until the real header lands.
