"""The built site in a headless browser (to be written)."""
