Placeholder for pyr.mod: stand-in until the real data file lands.
