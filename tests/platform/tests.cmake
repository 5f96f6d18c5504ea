# Tests of src/platform.
