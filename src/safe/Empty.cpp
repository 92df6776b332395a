// Intentionally empty until the layer's first file lands.
