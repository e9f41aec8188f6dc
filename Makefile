# The two entry points, and the release; the scripts under scripts/ do the work.
.PHONY: demo test dist
demo:
	scripts/demo.sh
test:
	scripts/test.sh
dist:
	scripts/dist.sh
