// Placeholder for rtc.h: stand-in until the real header lands.
