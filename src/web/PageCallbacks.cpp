// Placeholder until the page bridge lands.
