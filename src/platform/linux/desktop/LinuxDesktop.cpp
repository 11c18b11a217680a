// Placeholder until the Linux desktop lands.
