# Adapter sources and their Windows-side tests.
