# Tests of src/engine.
