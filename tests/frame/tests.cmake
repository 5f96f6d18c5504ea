# Tests of src/frame.
