"""vantor: small mutable value types for 2-D and 3-D graphics, each holding a raylib struct."""
