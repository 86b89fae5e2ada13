namespace tav {}
