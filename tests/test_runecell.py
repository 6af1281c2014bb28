"""GlyphInfo and the Image wrapping its bitmap: empty construction from Python, the pickling
refusal, and the native constructor with its ownership rules."""

import copy
import gc
import pickle
import sys

import pytest

import vantor._testclient as client
from vantor.image.image import Image
from vantor.runecell.runecell import GlyphInfo

PICKLING = "self._raw cannot be converted to a Python object for pickling"


def glyph(pixels=None, width=2, height=3, value=65):
    return client.glyph_new(value, 1, -2, 7, width, height, 1, 7, pixels)


class TestPython:
    @pytest.mark.parametrize("args, kwargs", [((), {}), ((1, 2), {"x": 3})])
    def test_empty_construction_ignores_arguments(self, args, kwargs):
        g = GlyphInfo(*args, **kwargs)
        assert client.glyph_record(g) == (0, 0, 0, 0, 0, 0, 0, 0, 0, None)

    def test_no_attributes_of_its_own(self):
        g = GlyphInfo()
        for name in ("_raw", "value", "image"):
            with pytest.raises(AttributeError):
                getattr(g, name)
        with pytest.raises(AttributeError):
            g.value = 1
        assert g == g and g != GlyphInfo() and hash(g) == hash(g)

    def test_subclass_runs_its_own_init(self):
        class Named(GlyphInfo):
            def __init__(self, name):
                self.name = name

        n = Named("a")
        assert n.name == "a" and client.glyph_record(n)[-1] is None

    @pytest.mark.parametrize("call", [pickle.dumps, copy.copy, copy.deepcopy,
                                      lambda g: g.__reduce__(), lambda g: g.__setstate__(None)])
    def test_pickling_and_copying_refused(self, call):
        with pytest.raises(TypeError) as e:
            call(GlyphInfo())
        assert str(e.value) == PICKLING

    def test_refusers_check_arguments_first(self):
        with pytest.raises(TypeError) as e:
            GlyphInfo().__reduce__(1)
        assert str(e.value) == "__reduce__() takes exactly 0 positional arguments (1 given)"
        with pytest.raises(TypeError) as e:
            GlyphInfo().__setstate__()
        assert str(e.value) == "__setstate__() takes exactly 1 positional argument (0 given)"

    def test_image_cannot_be_made_or_changed_from_python(self):
        with pytest.raises(TypeError):
            Image()
        image = client.image_new(4, 5, 1, 7, 1, 0)
        assert (image.width, image.height, image.mipmaps, image.format) == (4, 5, 1, 7)
        assert repr(image) == "Image(width=4, height=5, mipmaps=1, format=7)"
        with pytest.raises(AttributeError):
            image.width = 1
        with pytest.raises(TypeError):
            pickle.dumps(image)


class TestNative:
    def test_new_with_null_pixels_still_wraps_an_image(self):
        g = glyph(None)
        record = client.glyph_record(g)
        assert record[:9] == (65, 1, -2, 7, 0, 2, 3, 1, 7)
        image = record[9]
        assert type(image) is Image and client.image_record(image) == (0, 2, 3, 1, 7, 0)

    def test_pixels_are_shared_never_written_or_freed(self):
        pixels = bytearray(b"\x01\x02\x03\x04\x05\x06")
        g = glyph(pixels)
        data, image = client.glyph_record(g)[4], client.glyph_record(g)[9]
        assert data != 0 and client.image_record(image)[0] == data
        del g, image
        gc.collect()
        assert pixels == bytearray(b"\x01\x02\x03\x04\x05\x06")
        pixels[0] = 9  # still ours, still writable

    def test_image_is_reachable_through_the_collector(self):
        g = glyph()
        image = client.glyph_record(g)[9]
        assert image in gc.get_referents(g)
        assert gc.is_tracked(g)

    def test_failing_image_constructor_leaves_nothing(self):
        before = len([o for o in gc.get_objects() if type(o) is GlyphInfo])
        for _ in range(3):
            with pytest.raises(ValueError, match="invalid image dimensions -1x3"):
                glyph(width=-1)
        gc.collect()
        assert len([o for o in gc.get_objects() if type(o) is GlyphInfo]) == before

    def test_reference_counts_do_not_grow(self):
        g = glyph()
        image = client.glyph_record(g)[9]
        base = sys.getrefcount(image)
        for _ in range(1000):
            client.glyph_record(g)
        assert sys.getrefcount(image) == base
        del g
        assert sys.getrefcount(image) == base - 1
        pixels = bytearray(4)
        base_pixels = sys.getrefcount(pixels)
        for _ in range(1000):
            glyph(pixels)
        assert sys.getrefcount(pixels) == base_pixels

    @pytest.mark.parametrize("count, value, flag", [(1, 0, 0), (1, 5, 5), (0, 5, 0), (-1, 0, 0)])
    def test_image_optional_record(self, count, value, flag):
        assert client.image_record(client.image_new(1, 1, 1, 1, count, value))[-1] == flag

    def test_cycle_through_a_subclass_is_collected(self):
        import weakref

        class Holder(GlyphInfo):
            pass

        h = Holder()
        h.me = h
        alive = weakref.ref(h)
        del h
        gc.collect()
        assert alive() is None
