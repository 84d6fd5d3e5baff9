// placeholder, filled in by the platform implementation
