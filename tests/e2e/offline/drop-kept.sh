# After the first run the kept lists go (the credentials stay), so that the
# next launch has nothing to show. Sourced by run-against-sim.sh with $index.
if [ "$index" = 1 ]; then
  rm -rf "$work/profile/cache/demo"
fi
