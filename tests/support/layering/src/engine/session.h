// The engine folder the wrong-way include names.
